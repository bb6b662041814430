# Common settings for the project's own targets.

add_library(kelvo_options INTERFACE)
target_compile_options(kelvo_options INTERFACE -Wall -Wextra)
if(KELVO_WERROR)
    target_compile_options(kelvo_options INTERFACE -Werror)
endif()

# Compressed debug sections: the sanitizer trees hold many test executables, each with its own
# copy of the libraries' debug information; compressed, they take about a third of the disk.
if(KELVO_SANITIZE OR KELVO_SANITIZE_THREAD)
    add_compile_options(-gz)
    add_link_options(-gz)
endif()

if(KELVO_SANITIZE)
    # Halt at the first report so that a test fails instead of printing and going on.
    set(KELVO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                              -fno-omit-frame-pointer)
    if(KELVO_BUILD_FUZZERS)
        # Every object file gets coverage instrumentation; only the fuzz targets link the
        # fuzzer's main.
        list(APPEND KELVO_SANITIZER_FLAGS -fsanitize=fuzzer-no-link)
    endif()
    add_compile_options(${KELVO_SANITIZER_FLAGS})
    add_link_options(${KELVO_SANITIZER_FLAGS})
endif()

if(KELVO_SANITIZE_THREAD)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# kelvo_add_library(NAME SOURCES... [LIBS ...])
function(kelvo_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE kelvo_options)
endfunction()

# kelvo_copy_tree(TARGET SOURCE DESTINATION): a target, built with everything, that copies the
# folder SOURCE to DESTINATION in the build tree whenever a file in it changes, so that the
# build tree holds what an installation holds beside bin/.
function(kelvo_copy_tree target source destination)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${source}/*)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -E remove_directory ${destination}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${source} ${destination}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${files}
        COMMENT "Copying ${source} to ${destination}")
    add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()

# The multi-threaded tests, which scripts/test also runs under ThreadSanitizer: building the
# target kelvo_tsan_tests builds them all, and they carry the CTest label "tsan".
add_custom_target(kelvo_tsan_tests)

# kelvo_add_test(NAME SOURCES... LIBS ... [TSAN] [SERIAL] [SYNTH] [ALSA]): a Qt Test executable
# registered with CTest. Tests run offscreen, find the bundle resources and the manual of the
# build tree through KELVO_RESOURCES and KELVO_DOC, and every file or setting that they write
# goes below the build tree. TSAN marks a multi-threaded test; SERIAL one that must not run
# beside others; SYNTH one that plays through the built-in synthesizer's sound bank (label
# "synth": scripts/test runs these again against each General MIDI SoundFont installed). ALSA
# marks one that needs the ALSA sequencer (label "alsa", run one at a time): scripts/test runs
# these only inside a virtual machine that has one (tests/AlsaVm), so they are never TSAN too.
function(kelvo_add_test name)
    cmake_parse_arguments(ARG "TSAN;SERIAL;SYNTH;ALSA" "" "SOURCES;LIBS" ${ARGN})
    if(ARG_ALSA AND ARG_TSAN)
        message(FATAL_ERROR "${name}: an ALSA test runs only in the virtual machine, not under ThreadSanitizer")
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test kelvo_options)
    add_test(NAME ${name} COMMAND ${name})
    foreach(tree kelvo_bundle_resources kelvo_manual)
        if(TARGET ${tree})
            add_dependencies(${name} ${tree})
        endif()
    endforeach()
    if(ARG_TSAN)
        add_dependencies(kelvo_tsan_tests ${name})
        set_property(TEST ${name} APPEND PROPERTY LABELS tsan)
    endif()
    if(ARG_SYNTH)
        set_property(TEST ${name} APPEND PROPERTY LABELS synth)
    endif()
    if(ARG_ALSA)
        set_property(TEST ${name} APPEND PROPERTY LABELS alsa)
    endif()
    if(ARG_SERIAL OR ARG_ALSA)
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KELVO_RESOURCES=${KELVO_BUNDLE_DIR};KELVO_DOC=${KELVO_DOC_DIR};HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_DATA_HOME=${home}/data;XDG_CACHE_HOME=${home}/cache;XDG_RUNTIME_DIR=${home}/run;TMPDIR=${home}/tmp")
    foreach(dir config data cache run tmp)
        file(MAKE_DIRECTORY ${home}/${dir})
    endforeach()
    file(CHMOD ${home}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()

# kelvo_add_bench(NAME SOURCES... LIBS ...): a benchmark program, run by hand.
function(kelvo_add_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kelvo_options)
endfunction()

# kelvo_add_fuzzer(NAME SOURCES... LIBS ...): a libFuzzer target. scripts/test runs every
# target named fuzz_<topic> over the seed corpus in fuzz/corpus/<topic>.
function(kelvo_add_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kelvo_options)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# kelvo_add_test_program(NAME SOURCES... LIBS ... FOR test DEFINE macro): a helper program
# that a test starts itself (for behaviour that ends the process). The test finds it through
# the compile definition `macro`, which holds the program's path.
function(kelvo_add_test_program name)
    cmake_parse_arguments(ARG "" "FOR;DEFINE" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kelvo_options)
    add_dependencies(${ARG_FOR} ${name})
    target_compile_definitions(${ARG_FOR} PRIVATE ${ARG_DEFINE}="$<TARGET_FILE:${name}>")
endfunction()
