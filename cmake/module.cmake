# morvex_add_module(NAME CORE): the loadable plug-in module built from an object library.
# It exports exactly the entry points, carries the C++ runtime inside, and must resolve
# every symbol at link time so that it loads in any host.
function(morvex_add_module name core)
  add_library(${name} MODULE $<TARGET_OBJECTS:${core}>)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME morvex)
  if(WIN32)
    # The .def file names `main` as a second export of VSTPluginMain, undecorated on x86 as
    # on x64; the loader hook goes into the module only.
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/framework/exports.def
                   ${PROJECT_SOURCE_DIR}/framework/dll_main.cpp)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
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
