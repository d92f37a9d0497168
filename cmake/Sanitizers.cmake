# ONDULA_SANITIZE=address builds everything (JUCE included) with ASan and UBSan,
# ONDULA_SANITIZE=thread with TSan. The flags go on every target so the plug-in, the tests and
# the test host agree on the runtime.
if(ONDULA_SANITIZE STREQUAL "address")
    set(ONDULA_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(ONDULA_SANITIZE STREQUAL "thread")
    set(ONDULA_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT ONDULA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ONDULA_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(ONDULA_SANITIZER_FLAGS)
    add_compile_options(${ONDULA_SANITIZER_FLAGS})
    add_link_options(${ONDULA_SANITIZER_FLAGS})
endif()
