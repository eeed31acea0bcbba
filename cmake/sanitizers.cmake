# One sanitizer build per folder: "address" (AddressSanitizer together with
# UndefinedBehaviorSanitizer) or "thread" (ThreadSanitizer). Any report fails
# the test that triggered it.
if(KESTROVA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(KESTROVA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KESTROVA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KESTROVA_SANITIZE must be address, thread or empty")
endif()
