# Read by CTest before the tests of a folder are declared (TEST_INCLUDE_FILES):
# with TEST_TIME_SCALE set to a whole number N, every test's TIMEOUT is N times
# the one declared. The emulated machine that runs the 32-bit tests on hosts
# without 32-bit support (scripts/test-32) is that much slower; the tests read
# the same variable for their own time limits (tests/support/TimeScale.h).
if(NOT DEFINED ENV{TEST_TIME_SCALE} OR "$ENV{TEST_TIME_SCALE}" STREQUAL "" OR "$ENV{TEST_TIME_SCALE}" STREQUAL "1")
    return()
endif()
if(NOT "$ENV{TEST_TIME_SCALE}" MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "TEST_TIME_SCALE must be a whole number, not '$ENV{TEST_TIME_SCALE}'")
endif()
# Once per CTest run: a second definition would hide the original command.
if(COMMAND _set_tests_properties)
    return()
endif()
# The declared properties pass through word for word, a TIMEOUT's value
# scaled; each word is bracket-quoted so that lists (ENVIRONMENT,
# FIXTURES_REQUIRED) keep their separators.
function(set_tests_properties)
    set(call "_set_tests_properties(")
    set(scale_next FALSE)
    math(EXPR last "${ARGC} - 1")
    foreach(index RANGE ${last})
        set(word "${ARGV${index}}")
        if(scale_next)
            math(EXPR word "${word} * $ENV{TEST_TIME_SCALE}")
            set(scale_next FALSE)
        elseif(word STREQUAL "TIMEOUT")
            set(scale_next TRUE)
        endif()
        string(APPEND call " [==[${word}]==]")
    endforeach()
    cmake_language(EVAL CODE "${call})")
endfunction()
