# morvex_add_module(NAME CORE): the loadable plug-in module built from an object library.
# It exports exactly the entry points, carries the C++ runtime inside, and must resolve
# every symbol at link time so that it loads in any host.
function(morvex_add_module name core)
  add_library(${name} MODULE $<TARGET_OBJECTS:${core}>)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME morvex)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/framework/exports.def)
    target_link_options(${name} PRIVATE -static)
  else()
    set(script ${PROJECT_SOURCE_DIR}/framework/exports.map)
    # Older hosts look for `main`: the linker gives the entry point that second name, which
    # keeps it out of every program that links the core (the tests have a main of their own).
    target_link_options(${name} PRIVATE -Wl,--defsym=main=VSTPluginMain -Wl,--version-script=${script}
                        -Wl,--exclude-libs,ALL)
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${script})
    if(NOT MORVEX_SANITIZE)
      # Sanitizer runtimes need a shared C++ runtime and leave symbols to the loader.
      target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc -Wl,--no-undefined)
    endif()
  endif()
endfunction()
