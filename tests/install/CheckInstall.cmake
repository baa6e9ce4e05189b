# Installs the build into a fresh prefix and runs what was installed.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DEXAMPLE=... -DGUI=ON|OFF -P CheckInstall.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected bin/ixo bin/ixo-sim share/man/man1/ixo.1.gz share/man/man1/ixo-sim.1.gz
             share/doc/ixo-loader/copyright share/ixo-loader/examples/full.obj
             share/bash-completion/completions/ixo)
if(GUI)
  list(APPEND expected bin/ixo-loader share/man/man1/ixo-loader.1.gz
                       share/applications/ixo-loader.desktop
                       share/icons/hicolor/scalable/apps/ixo-loader.svg
                       share/metainfo/io.github.ixoloader.IxoLoader.metainfo.xml)
endif()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed ixo works on its own.
execute_process(COMMAND "${PREFIX}/bin/ixo" list "${EXAMPLE}"
                RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT listing MATCHES "^LFO0\tSIN\tAMP=1000\tFREQ=20\n")
  message(FATAL_ERROR "installed ixo list failed (${status}): ${errors}\n${listing}")
endif()
if(GUI)
  # The desktop entry starts the program it names, with the file it is opened with.
  file(READ "${PREFIX}/share/applications/ixo-loader.desktop" entry)
  if(NOT entry MATCHES "\nExec=ixo-loader %f\n" OR NOT entry MATCHES "\nIcon=ixo-loader\n")
    message(FATAL_ERROR "desktop entry does not name the program and its icon")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
