# The page files go beside every built executable: the program reads them from there.
set(TAPDECK_WEBROOT_FILES
  ${CMAKE_SOURCE_DIR}/webroot/index.html
  ${CMAKE_SOURCE_DIR}/webroot/script.js
  ${CMAKE_SOURCE_DIR}/webroot/styles.css
)
set(TAPDECK_WEBROOT_OUTPUTS)
foreach(file ${TAPDECK_WEBROOT_FILES})
  get_filename_component(name ${file} NAME)
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${out}
                     DEPENDS ${file} COMMENT "Copying ${name} beside the executables")
  list(APPEND TAPDECK_WEBROOT_OUTPUTS ${out})
endforeach()
add_custom_target(tapdeck_webroot ALL DEPENDS ${TAPDECK_WEBROOT_OUTPUTS})
