# The folders are layers: an include may point to the same layer or one below, never upward.
# The check runs as part of every build, so an upward include fails the build.
set(VL_LAYER_RANKS "multio=0;comsrc=1;settings=2;source=3;link=3;pipeline=4;ui=4;app=5;tools=6")
set(_vl_layer_files)
foreach(dir ${VL_LAYERS} tools)
  file(GLOB_RECURSE _found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.h ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND _vl_layer_files ${_found})
endforeach()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/layers.checked
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} "-DRANKS=${VL_LAYER_RANKS}"
          -DSTAMP=${CMAKE_BINARY_DIR}/layers.checked -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
  DEPENDS ${_vl_layer_files} ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
  COMMENT "Checking that includes point to the same layer or one below"
  VERBATIM)
add_custom_target(vl_layers ALL DEPENDS ${CMAKE_BINARY_DIR}/layers.checked)
foreach(dir ${VL_LAYERS})
  add_dependencies(vl_${dir} vl_layers)
endforeach()
