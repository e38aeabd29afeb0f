# Links an adapter library from the launcher parts, as packing links a
# launcher's main.dll (cmake/run_adapter.cmake tells how):
#
#   cmake -DPARTS=DIR -DPROGRAM_OBJECT=OBJ -DOUTPUT=DLL -DLINKER=lld-link
#         -P link_run_adapter.cmake
foreach(var PARTS PROGRAM_OBJECT OUTPUT LINKER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "link_run_adapter.cmake: -D${var}= missing")
  endif()
endforeach()

# sorted_files(OUT PATTERN): the files in a fixed order, so that every link
# sees them alike.
function(sorted_files out pattern)
  file(GLOB files ${pattern})
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()
sorted_files(objects ${PARTS}/adapter/objects/*.obj)
sorted_files(adapter_libraries ${PARTS}/adapter/lib/*.lib)
sorted_files(launcher_libraries ${PARTS}/lib/*.lib)
if(NOT objects OR NOT adapter_libraries OR NOT launcher_libraries)
  message(FATAL_ERROR "link_run_adapter.cmake: launcher parts '${PARTS}' without the adapter's parts")
endif()

execute_process(
  COMMAND ${LINKER} @${PARTS}/adapter/link_settings.rsp /out:${OUTPUT} ${PROGRAM_OBJECT} ${objects}
    ${adapter_libraries} ${launcher_libraries}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "link_run_adapter.cmake: lld-link failed (${result})")
endif()
