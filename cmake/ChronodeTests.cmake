# Every tests/<folder>/tst_*.cpp is one QtTest executable and one CTest test.
# A file named tst_ui_*.cpp also links the widget library and runs on the offscreen platform.
# Each test gets its own HOME and XDG directories under the build tree, so no test ever
# reads or writes the user's settings.
file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tst_*.cpp)
# In a sanitized build any sanitizer report fails the test. Leaks are not checked: the toolkit's
# plugins keep process-lifetime allocations that are not faults.
set(sanitizer_env)
if(CHRONODE_SANITIZE)
    set(sanitizer_env "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
                      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
set(CHRONODE_SHARED_DIR "${CMAKE_SOURCE_DIR}/../shared" CACHE PATH "Folder holding captures/ (optional)")
foreach(src IN LISTS test_sources)
    get_filename_component(name ${src} NAME_WE)
    get_filename_component(dir ${src} DIRECTORY)
    add_executable(${name} ${src})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    if(name MATCHES "^tst_ui_")
        target_link_libraries(${name} PRIVATE chronode_gui Qt6::Test)
    else()
        target_link_libraries(${name} PRIVATE chronode_station Qt6::Test)
    endif()
    target_compile_definitions(${name} PRIVATE
        CHRONODE_SHARED_DIR="${CHRONODE_SHARED_DIR}"
        CHRONODE_BINARY_DIR="${CMAKE_BINARY_DIR}"
        CHRONODE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # Tests under tests/tools run the command-line tools.
    if(dir MATCHES "/tests/tools$" AND TARGET chronode-decode)
        add_dependencies(${name} chronode-decode)
    endif()
    set(home ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${home}/config ${home}/runtime)
    add_test(NAME ${name} COMMAND ${name})
    set(env "CHRONODE_TESTING=1;QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/runtime;QT_LOGGING_RULES=qt.multimedia*=false")
    set(timeout 300)
    if(CHRONODE_SANITIZE)
        list(APPEND env ${sanitizer_env})
        set(timeout 1200)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout} ENVIRONMENT "${env}")
    if(CHRONODE_SANITIZE)
        set_tests_properties(${name} PROPERTIES LABELS sanitized)
    endif()
endforeach()

# The layer rule of the source tree, checked on every test run.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
    add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/check_layers.py ${CMAKE_SOURCE_DIR})
    # The hand-made regression captures still decode to the values written beside their bytes,
    # whatever the golden files say after a regeneration.
    if(TARGET chronode-decode)
        add_test(NAME regress_expectations
                 COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/regress/make_captures.py --check $<TARGET_FILE:chronode-decode>)
        if(CHRONODE_SANITIZE)
            set_tests_properties(regress_expectations PROPERTIES LABELS sanitized ENVIRONMENT "${sanitizer_env}")
        endif()
    endif()
endif()

# A remote-control session from another process (socat), against the program itself.
find_program(SOCAT_PROGRAM socat)
if(SOCAT_PROGRAM)
    set(home ${CMAKE_BINARY_DIR}/test-home/remote_socat)
    file(MAKE_DIRECTORY ${home}/config ${home}/runtime)
    add_test(NAME remote_socat COMMAND bash ${CMAKE_SOURCE_DIR}/tests/remote/socat_session.sh $<TARGET_FILE:chronode>)
    set_tests_properties(remote_socat PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/config;XDG_RUNTIME_DIR=${home}/runtime;QT_LOGGING_RULES=qt.multimedia*=false")
    if(CHRONODE_SANITIZE)
        set_property(TEST remote_socat APPEND PROPERTY ENVIRONMENT ${sanitizer_env})
        set_tests_properties(remote_socat PROPERTIES LABELS sanitized TIMEOUT 600)
    endif()
endif()

# A sanitized build proves its sanitizers are in: a heap read past the end must abort the probe
# (ctest -L sanitized runs it with the suite).
if(CHRONODE_SANITIZE)
    add_executable(sanitizer_probe ${CMAKE_SOURCE_DIR}/cmake/sanitizer_probe.cpp)
    add_test(NAME sanitizers_active COMMAND sanitizer_probe 8)
    set_tests_properties(sanitizers_active PROPERTIES WILL_FAIL TRUE LABELS sanitized
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()
