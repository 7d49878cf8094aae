# nlohmann/json for a cross build: an include folder holding only the
# library's headers (Debian's, linked), so no header of the build machine's
# C library is ever seen by the Windows compiler.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_json_include "${CMAKE_BINARY_DIR}/json-headers")
  if(NOT EXISTS "${_json_include}/nlohmann")
    file(MAKE_DIRECTORY "${_json_include}")
    file(CREATE_LINK /usr/include/nlohmann "${_json_include}/nlohmann" SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  target_include_directories(nlohmann_json::nlohmann_json INTERFACE "${_json_include}")
endif()
set(nlohmann_json_FOUND TRUE)
set(nlohmann_json_VERSION 3.11.2)
