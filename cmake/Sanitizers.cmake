# ONDULA_SANITIZE=address builds everything (JUCE included) with ASan and UBSan,
# ONDULA_SANITIZE=thread with TSan, ONDULA_SANITIZE=fuzzer (clang only) instruments for libFuzzer
# and adds the state-loader fuzz target. The flags go on every target so the plug-in, the tests and
# the test host agree on the runtime.
if(ONDULA_SANITIZE STREQUAL "address")
    set(ONDULA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(ONDULA_SANITIZE STREQUAL "fuzzer")
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ONDULA_SANITIZE=fuzzer needs clang (CXX=clang++)")
    endif()
    set(ONDULA_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(ONDULA_SANITIZE STREQUAL "thread")
    set(ONDULA_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT ONDULA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ONDULA_SANITIZE must be empty, 'address', 'thread' or 'fuzzer'")
endif()

if(ONDULA_SANITIZER_FLAGS)
    add_compile_options(${ONDULA_SANITIZER_FLAGS})
    add_link_options(${ONDULA_SANITIZER_FLAGS})
endif()
