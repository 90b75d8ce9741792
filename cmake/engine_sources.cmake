# The engine's source list, shared by the main build and the fuzz build (fuzz/CMakeLists.txt),
# so that a file added under src/engine/ or src/output/ is compiled by both.
#
#   velmora_engine_sources(<out-var> <repo-root> <posix|win32>)
function(velmora_engine_sources out root platform)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${root}/src/engine/*.cpp
    ${root}/src/output/*.cpp)
  file(GLOB portable CONFIGURE_DEPENDS ${root}/src/platform/*.cpp)
  file(GLOB os CONFIGURE_DEPENDS ${root}/src/platform/${platform}/*.cpp)
  list(SORT sources)
  set(${out} ${portable} ${sources} ${os} PARENT_SCOPE)
endfunction()
