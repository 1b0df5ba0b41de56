# Applied to every target of ours through pokopen_set_warnings().
function(pokopen_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(POKOPEN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# POKOPEN_SANITIZE: thread, or address (also any true value, such as ON).
if(POKOPEN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(POKOPEN_SANITIZE)
  if(NOT POKOPEN_SANITIZE STREQUAL "address" AND NOT POKOPEN_SANITIZE MATCHES "^(ON|On|on|1|TRUE|True|true|YES|Yes|yes|Y|y)$")
    message(FATAL_ERROR "POKOPEN_SANITIZE is OFF, address or thread, not ${POKOPEN_SANITIZE}")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
