# Applied to every target of ours through pokopen_set_warnings().
function(pokopen_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(POKOPEN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(POKOPEN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
