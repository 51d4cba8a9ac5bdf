# cmake -DMODE=install|find_package|pkg_config -DBUILD_DIR=... -DWORK=... ... -P installed_test.cmake
#   install:      installs BUILD_DIR into WORK/prefix and checks that every part is there;
#   find_package: builds the example with CMake against WORK/prefix, shared and static;
#   pkg_config:   builds it with the flags of `pkg-config --cflags --libs velk`;
# the two builds then encode SAMPLE and must write exactly the streams of the installed velkcoder.
cmake_minimum_required(VERSION 3.16)
set(prefix ${WORK}/prefix)
string(REPLACE "," ";" PROGRAMS "${PROGRAMS}")
string(REPLACE "," ";" HEADERS "${HEADERS}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
endfunction()

function(expect_file path)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

# The encoder's three streams of SAMPLE from `command`, written into dir, must equal those of
# the installed velkcoder.
function(encode_and_compare dir)
  set(out ${WORK}/${dir}/out)
  set(ref ${WORK}/${dir}/ref)
  file(REMOVE_RECURSE ${out} ${ref})
  file(MAKE_DIRECTORY ${out} ${ref})
  run(${ARGN} ${SAMPLE} ${out}/s.lf0 ${out}/s.cc ${out}/s.fv)
  run(${prefix}/bin/velkcoder ${SAMPLE} ${ref}/s.lf0 ${ref}/s.cc ${ref}/s.fv)
  foreach(stream lf0 cc fv)
    file(SIZE ${ref}/s.${stream} size)
    if(size EQUAL 0)
      message(FATAL_ERROR "velkcoder wrote an empty ${stream} stream")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${out}/s.${stream} ${ref}/s.${stream}
                    RESULT_VARIABLE differ)
    if(differ)
      message(FATAL_ERROR "the example's ${stream} stream differs from velkcoder's")
    endif()
  endforeach()
endfunction()

if(MODE STREQUAL "install")
  file(REMOVE_RECURSE ${WORK})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  foreach(prog ${PROGRAMS})
    expect_file(bin/${prog})
  endforeach()
  foreach(header ${HEADERS})
    expect_file(include/velk/${header})
  endforeach()
  foreach(file libvelk.a libvelk.so libvelk.so.${VERSION} pkgconfig/velk.pc cmake/velk/velkConfig.cmake
               cmake/velk/velkConfigVersion.cmake cmake/velk/velkTargets.cmake)
    expect_file(${LIBDIR}/${file})
  endforeach()
  string(REGEX MATCH "^[0-9]+" major ${VERSION})
  execute_process(COMMAND readelf -d ${prefix}/${LIBDIR}/libvelk.so.${VERSION} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "SONAME\\)[^\n]*\\[libvelk\\.so\\.${major}\\]")
    message(FATAL_ERROR "libvelk.so.${VERSION} lacks the SONAME libvelk.so.${major}:\n${dynamic}")
  endif()
  # Every symbol the shared library defines for its users is in namespace velk (what remains
  # outside are weak instances of the standard library's templates).
  execute_process(COMMAND nm -DC --defined-only ${prefix}/${LIBDIR}/libvelk.so.${VERSION} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "\n[0-9a-f]+ [TDBR] [^\n]*" exported "\n${symbols}")
  list(FILTER exported EXCLUDE REGEX "^\n[0-9a-f]+ [TDBR] velk::")
  if(exported OR NOT symbols MATCHES " T velk::encodesignal")
    message(FATAL_ERROR "libvelk.so.${VERSION} defines symbols outside namespace velk:${exported}")
  endif()
  # Every installed header together leaves the global namespace to the program: a program that
  # names its own complex, copymat, getpitch and fftc compiles against all of them.
  set(source ${WORK}/ownnames.cpp)
  file(WRITE ${source} "")
  foreach(header ${HEADERS})
    file(APPEND ${source} "#include <velk/${header}>\n")
  endforeach()
  file(APPEND ${source} "struct complex { float r, i; };\nint copymat;\nint getpitch(int);\ndouble fftc;\n"
                        "static_assert(sizeof(complex) == 2 * sizeof(float));\n"
                        "static_assert(sizeof(velk::complex) == 2 * sizeof(double));\n")
  run(${CXX} -std=c++17 -fsyntax-only -I${prefix}/include ${source})
  file(READ ${prefix}/${LIBDIR}/cmake/velk/velkConfigVersion.cmake config)
  if(NOT config MATCHES "PACKAGE_VERSION \"${VERSION}\"")
    message(FATAL_ERROR "the CMake package does not report version ${VERSION}")
  endif()
  # The package lies in VELK_PYTHON_INSTALL_DIR when that is set, else in the site directory the
  # interpreter names for the prefix (which it reads only for its own prefixes: here PYTHONPATH
  # names it).
  if(PYTHON)
    set(sitedir ${PYTHON_DIR})
    if(NOT sitedir)
      execute_process(COMMAND ${PYTHON} ${SITEDIR} ${prefix} OUTPUT_VARIABLE sitedir OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    expect_file(${sitedir}/velk/__init__.py)
    set(ENV{PYTHONPATH} ${prefix}/${sitedir})
    run(${PYTHON} -c "import velk, sys; sys.exit(not velk.__file__.startswith('${prefix}/') or velk.__version__ != '${VERSION}')")
    unset(ENV{PYTHONPATH})
    # Installed under the user's base directory (~/.local), the package is imported without
    # any setting; PYTHONUSERBASE stands for the home directory here.
    if(NOT PYTHON_DIR)
      set(ENV{PYTHONUSERBASE} ${WORK}/userbase)
      run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/userbase)
      run(${PYTHON} -c "import velk, sys; sys.exit(not velk.__file__.startswith('${WORK}/userbase/'))")
      unset(ENV{PYTHONUSERBASE})
    endif()
  endif()
  # Every installed program has its manual page.
  file(GLOB installed RELATIVE ${prefix}/bin ${prefix}/bin/*)
  foreach(prog ${installed})
    expect_file(share/man/man1/${prog}.1)
  endforeach()
elseif(MODE STREQUAL "find_package")
  file(REMOVE_RECURSE ${WORK}/cmake)
  foreach(static OFF ON)
    set(build ${WORK}/cmake/build-static-${static})
    run(${CMAKE_COMMAND} -S ${EXAMPLE} -B ${build} -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix}
        -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" -DVELK_STATIC=${static})
    run(${CMAKE_COMMAND} --build ${build})
    encode_and_compare(cmake/static-${static} ${build}/velkencode)
  endforeach()
elseif(MODE STREQUAL "pkg_config")
  file(REMOVE_RECURSE ${WORK}/pkgconfig)
  file(MAKE_DIRECTORY ${WORK}/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  execute_process(COMMAND pkg-config --modversion velk OUTPUT_VARIABLE version
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config reports version '${version}', not ${VERSION}")
  endif()
  execute_process(COMMAND pkg-config --cflags --libs velk OUTPUT_VARIABLE flags RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs velk failed")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  separate_arguments(extra UNIX_COMMAND "${CONSUMER_FLAGS}")
  run(${CXX} ${extra} ${EXAMPLE}/encode.cpp ${flags} -o ${WORK}/pkgconfig/velkencode)
  set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
  encode_and_compare(pkgconfig ${WORK}/pkgconfig/velkencode)
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
