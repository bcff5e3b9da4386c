# Settings every target of the project's own code gets.

if(TOLLVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(TOLLVANE_SANITIZE_THREADS)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# Sources are UTF-8; the program's texts are GBK bytes, so literals are converted.
function(tollvane_target target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-qual -Wformat=2
        -Werror=return-type
        -finput-charset=UTF-8 -fexec-charset=GBK)
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_include_directories(${target} PRIVATE ${TOLLVANE_GENERATED_DIR})
    if(WIN32)
        target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    endif()
endfunction()
