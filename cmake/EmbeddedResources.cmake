# Embeds the font files of resources/ into the product library as BinaryData.
function(ondula_embed_resources target dir)
    file(GLOB fonts CONFIGURE_DEPENDS "${dir}/*.ttf")
    if(fonts)
        juce_add_binary_data(OndulaDelayBinaryData
            HEADER_NAME BinaryData.h
            NAMESPACE BinaryData
            SOURCES ${fonts})
        target_link_libraries(${target} PRIVATE OndulaDelayBinaryData)
        target_compile_definitions(${target} PRIVATE ONDULA_HAS_BINARY_DATA=1)
    endif()
endfunction()
