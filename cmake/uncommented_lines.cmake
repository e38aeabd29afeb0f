# tarvek_uncommented_lines(OUT FILE): the lines of FILE without what follows
# '#', stripped, the empty ones left out.
function(tarvek_uncommented_lines out file)
  file(STRINGS "${file}" lines)
  set(kept)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(NOT line STREQUAL "")
      list(APPEND kept "${line}")
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()
