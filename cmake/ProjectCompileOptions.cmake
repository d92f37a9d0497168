# The project's own sources build warning-free under -Wall -Wextra. JUCE's headers are treated as
# system headers for them, so warnings inside the framework do not drown our own.
# Multiply-adds stay unfused everywhere (clang fuses within statements by default), so the engine,
# its scalar reference and the displays compute the same single-precision results on every target.
function(ondula_apply_project_options sources)
    set_source_files_properties(${sources} PROPERTIES
        COMPILE_OPTIONS "-Wall;-Wextra;-ffp-contract=off;-isystem;${JUCE_MODULES_DIR}")
endfunction()
