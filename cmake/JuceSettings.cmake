# Compile definitions that Debian's JUCE package needs, shared by the plug-in and the test host.
function(ondula_apply_juce_settings target)
    target_compile_definitions(${target} PRIVATE
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=1
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_USE_FLAC=0            # Debian's JUCE ships no FLAC sources
        JUCE_USE_OGGVORBIS=0       # ... nor Ogg Vorbis
        JUCE_MODAL_LOOPS_PERMITTED=0
        JUCE_STRICT_REFCOUNTEDPOINTER=1
        JUCE_DISABLE_CAUTIOUS_PARAMETER_ID_CHECKING=1 # the IDs are fixed; no AAX build shortens them
        CURL_DISABLE_DEPRECATION
        $<$<CONFIG:Debug>:JUCE_LOG_ASSERTIONS=1>)
    # g++ 12 warns inside JUCE and the VST3 SDK; these are not ours to fix.
    target_compile_options(${target} PRIVATE
        $<$<CXX_COMPILER_ID:GNU>:-Wno-dangling-pointer>
        $<$<CXX_COMPILER_ID:GNU>:-Wno-stringop-overflow>
        $<$<CXX_COMPILER_ID:GNU>:-Wno-array-bounds>)
endfunction()
