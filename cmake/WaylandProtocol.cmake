# vl_wayland_protocol(XML OUT): the client header and the glue code of a Wayland protocol, made
# by wayland-scanner as OUT-client-protocol.h and OUT-protocol.c.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
function(vl_wayland_protocol xml out)
  get_filename_component(dir ${out} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${out}-client-protocol.h ${out}-protocol.c
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${out}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${out}-protocol.c
    DEPENDS ${xml}
    VERBATIM)
endfunction()
