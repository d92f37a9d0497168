# The project's own sources build warning-free under -Wall -Wextra. JUCE's headers are treated as
# system headers for them, so warnings inside the framework do not drown our own.
function(ondula_apply_project_warnings sources)
    set_source_files_properties(${sources} PROPERTIES
        COMPILE_OPTIONS "-Wall;-Wextra;-isystem;${JUCE_MODULES_DIR}")
endfunction()
