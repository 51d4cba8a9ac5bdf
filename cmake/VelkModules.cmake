# Modules of the libraries: one object library per source file, declared with the modules it is
# built on. A family of modules shares a prefix: the vocoder's (and the plotting library's) are
# `velk`, the trackers' `tracker`. The transitive closure of every module is recorded so that a
# module's tests and users link exactly what it needs, and an upward dependency fails to link.

# velk_family_module(prefix name dep...): module `name` of the family `prefix` (source name.cpp
# of the current folder, object library <prefix>_<name>, position independent, its folder's
# headers public) on the given modules of the family; its closure goes into the global property
# <PREFIX>_CLOSURE_<name>.
function(velk_family_module prefix name)
  string(TOUPPER ${prefix} family)
  add_library(${prefix}_${name} OBJECT ${name}.cpp)
  set_target_properties(${prefix}_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${prefix}_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  set(closure ${name})
  foreach(dep ${ARGN})
    get_property(depclosure GLOBAL PROPERTY ${family}_CLOSURE_${dep})
    list(APPEND closure ${depclosure})
  endforeach()
  list(REMOVE_DUPLICATES closure)
  set_property(GLOBAL PROPERTY ${family}_CLOSURE_${name} ${closure})
endfunction()

# velk_family_targets(var prefix module...): the object-library targets of the closures of the
# modules of the family `prefix`; velk_family_objects(var prefix module...): their objects.
function(velk_family_targets var prefix)
  string(TOUPPER ${prefix} family)
  set(targets "")
  foreach(m ${ARGN})
    get_property(closure GLOBAL PROPERTY ${family}_CLOSURE_${m})
    foreach(c ${closure})
      list(APPEND targets ${prefix}_${c})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES targets)
  set(${var} ${targets} PARENT_SCOPE)
endfunction()
function(velk_family_objects var prefix)
  velk_family_targets(targets ${prefix} ${ARGN})
  set(objects "")
  foreach(t ${targets})
    list(APPEND objects $<TARGET_OBJECTS:${t}>)
  endforeach()
  set(${var} ${objects} PARENT_SCOPE)
endfunction()

# velk_family_tests(prefix testprefix lib...): the unit tests of the folder's modules of the
# family `prefix`: tests/<module>_test.cpp (or <module>_<topic>_test.cpp), target
# <testprefix><file name>, links the module's closure and the given libraries, sees the folder's
# headers and is told the samples' folder (VELK_SAMPLES_DIR). A test of no module is an error.
function(velk_family_tests prefix testprefix)
  string(TOUPPER ${prefix} family)
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  foreach(src ${test_sources})
    get_filename_component(tname ${src} NAME_WE)
    string(REGEX REPLACE "_.*" "" module ${tname})
    get_property(closure GLOBAL PROPERTY ${family}_CLOSURE_${module})
    if(NOT closure)
      message(FATAL_ERROR "test ${tname}: unknown ${prefix} module '${module}'")
    endif()
    velk_family_objects(objs ${prefix} ${module})
    velk_add_gtest(${testprefix}${tname} SOURCES ${src} ${objs} LIBS ${ARGN})
    target_include_directories(${testprefix}${tname} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${testprefix}${tname} PRIVATE VELK_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
  endforeach()
endfunction()
