# tarvek_payload_object(NAME STORED_FILE)
#
# An object library whose only content is the stored payload file, placed in
# .rdata on a 4096-byte boundary under the symbol tarvek_payload, and its
# length as tarvek_payload_length. Link it first so that the payload is the
# first thing in the image's .rdata.
function(tarvek_payload_object name stored_file)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${name}.s")
  set(TARVEK_STORED_PAYLOAD "${stored_file}")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/payload_object.s.in" "${asm}" @ONLY)
  add_library(${name} OBJECT "${asm}")
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${stored_file}")
endfunction()
