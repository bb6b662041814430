# Installs the build tree BUILD_DIR into a fresh PREFIX:
#     cmake -DBUILD_DIR=... -DPREFIX=... -P InstallIntoPrefix.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install into ${PREFIX} failed: ${result}")
endif()
