# What `make package` puts in the Debian package (Linux) and in the zip (Windows). Included after
# every folder has been added, so that each program is installed once its target exists.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME vantelink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantelink developers")
set(CPACK_PACKAGE_CONTACT "Vantelink developers <vantelink@vantela.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show a part of the desktop on Vantela memory-LCD displays")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VL_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
  if(TARGET vantelink)
    install(TARGETS vantelink RUNTIME DESTINATION .)
  endif()
  # The zip also holds the x86-64 program, built and stripped in a build tree of its own
  # (make package-zip); a zip without it would be taken for a whole one, so a missing file fails.
  set(VL_WIN64_PROGRAM "" CACHE FILEPATH "The x86-64 vantelink.exe the zip holds as vantelink-x64.exe")
  if(VL_WIN64_PROGRAM)
    install(PROGRAMS ${VL_WIN64_PROGRAM} DESTINATION . RENAME vantelink-x64.exe)
  endif()
  install(FILES README.md DESTINATION .)
  install(FILES ${VL_PACKAGING_DIR}/copyright DESTINATION . RENAME copyright.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vantelink-${PROJECT_VERSION}-win32)
else()
  set(vl_programs "")
  foreach(program vantelink vantela-sim vantela-preview vantela-vdisplay)
    if(TARGET ${program})
      list(APPEND vl_programs ${program})
    endif()
  endforeach()
  install(TARGETS ${vl_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Manual pages and the changelog go in compressed without time stamps, as Debian wants them.
  set(vl_gz_dir ${CMAKE_BINARY_DIR}/packaging)
  set(vl_gz_files "")
  foreach(source IN LISTS vl_programs ITEMS changelog)
    if(source STREQUAL "changelog")
      set(in ${VL_PACKAGING_DIR}/changelog)
      set(out ${vl_gz_dir}/changelog.gz)
    else()
      set(in ${VL_PACKAGING_DIR}/man/${source}.1)
      set(out ${vl_gz_dir}/${source}.1.gz)
      install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
    add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E make_directory ${vl_gz_dir}
                       COMMAND gzip -9nc ${in} > ${out} DEPENDS ${in} VERBATIM)
    list(APPEND vl_gz_files ${out})
  endforeach()
  add_custom_target(vl_package_files ALL DEPENDS ${vl_gz_files})

  install(FILES ${vl_gz_dir}/changelog.gz ${VL_PACKAGING_DIR}/copyright README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TARGET vantelink)
    install(FILES ${VL_PACKAGING_DIR}/vantelink.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ui/res/vantelink-48.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
            RENAME vantelink.png)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The window's texts are Japanese and laid out for this face; the libraries come from shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
  set(vl_recommends "xdg-utils")
  if(TARGET vantela-vdisplay)
    # The stand-in display runs on an Xvfb of its own.
    string(APPEND vl_recommends ", xvfb")
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${vl_recommends}")
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vantelink captures a rectangle of the X screen, turns it into luma, applies
each device's contrast, brightness, gamma, inversion and rotation, dithers it
and streams the changed panel lines to up to four Vantela displays (400 x 240
pixels, one bit per pixel) through their USB serial ports.
.
The package also holds vantela-sim, a device simulator on a pseudo-terminal,
and vantela-preview, which shows what a device would show for a picture.")
endif()

include(CPack)
