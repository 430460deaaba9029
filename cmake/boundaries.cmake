# boundaries.cmake: the include boundaries between the subsystems, and the check that every
# header compiles on its own.
#
# Every subsystem includes headers by their folder ("scene/scene.h"). The libraries that may use
# only the standard library and base/ (base, scene, effects) do not get the source root as an
# include directory: they get a root of their own that holds links to the folders they may
# include and nothing else. An #include of driver/, platform/ or render/ from their code or
# headers is then "file not found", in every build.

# quindle_include_root(TARGET FOLDER...): TARGET sees only FOLDER... (besides the system's
# headers), through ${CMAKE_BINARY_DIR}/include-roots/TARGET, for itself and its dependents.
function(quindle_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${ARGN})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
  set_property(GLOBAL APPEND PROPERTY quindle_bounded_targets ${target})
endfunction()

# quindle_header_check(): target header_check compiles every header of every subsystem alone,
# with the include directories and flags of the library that owns it, so a header that leans on
# what its includer happened to include first, or that crosses a boundary, fails to build.
# Targets include_probe_TARGET compile an include of driver/layers.h with a bounded library's
# include directories; scripts/check-headers expects each of them to fail.
function(quindle_header_check)
  set(owners base:quindle_base scene:quindle_scene effects:quindle_effects render:quindle_render
      platform:quindle_platform resources:quindle_resources driver:quindle_driver
      tools:quindle_tools_writers)
  set(dir ${CMAKE_BINARY_DIR}/header-check)
  add_custom_target(header_check)
  foreach(pair ${owners})
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 folder)
    list(GET pair 1 owner)
    file(GLOB headers RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    set(sources)
    foreach(header ${headers})
      string(MAKE_C_IDENTIFIER ${header} stem)
      set(source ${dir}/${stem}.cpp)
      set(text "#include \"${header}\"\n")
      if(EXISTS ${source})
        file(READ ${source} old)
      endif()
      if(NOT EXISTS ${source} OR NOT old STREQUAL text)
        file(WRITE ${source} ${text})
      endif()
      list(APPEND sources ${source})
    endforeach()
    if(sources)
      # The owner's own include directories and flags, its private ones (third-party headers
      # inside platform/) included.
      add_library(header_check_${folder} OBJECT EXCLUDE_FROM_ALL ${sources})
      target_include_directories(header_check_${folder} PRIVATE $<TARGET_PROPERTY:${owner},INCLUDE_DIRECTORIES>)
      target_compile_definitions(header_check_${folder} PRIVATE $<TARGET_PROPERTY:${owner},COMPILE_DEFINITIONS>)
      target_compile_options(header_check_${folder} PRIVATE $<TARGET_PROPERTY:${owner},COMPILE_OPTIONS>)
      add_dependencies(header_check header_check_${folder})
    endif()
  endforeach()

  get_property(bounded GLOBAL PROPERTY quindle_bounded_targets)
  file(WRITE ${dir}/include_probe.cpp "#include \"driver/layers.h\"\n")
  foreach(target ${bounded})
    add_library(include_probe_${target} OBJECT EXCLUDE_FROM_ALL ${dir}/include_probe.cpp)
    target_include_directories(include_probe_${target} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  endforeach()
  string(REPLACE ";" " " bounded "${bounded}")
  file(WRITE ${dir}/bounded_targets.txt "${bounded}\n")
endfunction()
