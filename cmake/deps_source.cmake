# tarvek_deps_source(OUT PATTERN FILE)
#
# The newest folder of build/deps (TARVEK_DEPS_DIR) whose name matches
# PATTERN, where tools/setup.sh unpacks a Debian source package; the build
# stops unless it holds FILE (relative to the folder).
function(tarvek_deps_source out pattern file)
  file(GLOB folders LIST_DIRECTORIES true ${TARVEK_DEPS_DIR}/${pattern})
  list(SORT folders)
  list(POP_BACK folders folder)
  if(NOT EXISTS "${folder}/${file}")
    message(FATAL_ERROR "no ${pattern} source in ${TARVEK_DEPS_DIR}: run tools/setup.sh")
  endif()
  set(${out} ${folder} PARENT_SCOPE)
endfunction()
