# The page files go beside every built executable: the program reads them from there.
# index.html and styles.css are copied as they are. script.js is built: webroot/build.mjs
# bundles webroot/src/ with its npm packages (the QR code library) into one script, so the page
# stays three files and loads nothing at run time. The packages are installed with npm into
# this build tree, from a download cache shared by the presets.
find_program(TAPDECK_NODE NAMES node nodejs)
find_program(TAPDECK_NPM NAMES npm npm.cmd)
if(NOT TAPDECK_NODE OR NOT TAPDECK_NPM)
  message(FATAL_ERROR "Node.js with npm is needed to build the page's script (scripts/deps.sh build installs it)")
endif()
set(TAPDECK_NPM_CACHE ${CMAKE_SOURCE_DIR}/build/npm-cache CACHE PATH "Download cache of the npm packages")

set(webroot ${CMAKE_SOURCE_DIR}/webroot)
set(npm_dir ${CMAKE_BINARY_DIR}/webroot)
set(npm_stamp ${npm_dir}/node_modules/.tapdeck-installed)
add_custom_command(OUTPUT ${npm_stamp}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${webroot}/package.json ${webroot}/package-lock.json ${npm_dir}
  COMMAND ${TAPDECK_NPM} ci --no-audit --no-fund --loglevel=error --prefer-offline --cache ${TAPDECK_NPM_CACHE}
  COMMAND ${CMAKE_COMMAND} -E touch ${npm_stamp}
  WORKING_DIRECTORY ${npm_dir}
  DEPENDS ${webroot}/package.json ${webroot}/package-lock.json
  COMMENT "Installing the npm packages of the page's script")

file(GLOB script_sources CONFIGURE_DEPENDS ${webroot}/src/*.js)
set(script ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/script.js)
add_custom_command(OUTPUT ${script}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${webroot}/build.mjs ${npm_dir}/build.mjs
  COMMAND ${TAPDECK_NODE} ${npm_dir}/build.mjs ${webroot}/src/script.js ${script}
  DEPENDS ${npm_stamp} ${webroot}/build.mjs ${script_sources}
  COMMENT "Building script.js beside the executables")

set(TAPDECK_WEBROOT_FILES ${script})
# The panel editor's page, script and style, served the same way.
foreach(name index.html styles.css edit.html edit.js edit.css)
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${webroot}/${name} ${out}
                     DEPENDS ${webroot}/${name} COMMENT "Copying ${name} beside the executables")
  list(APPEND TAPDECK_WEBROOT_FILES ${out})
endforeach()
# The example panels go into "panels" beside the page files, where the packages put them too
# and the editor offers them.
file(GLOB example_panels CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/panels/*.json)
set(example_outputs)
foreach(panel ${example_panels})
  get_filename_component(name ${panel} NAME)
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/panels/${name})
  add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${panel} ${out}
                     DEPENDS ${panel} COMMENT "Copying the example panel ${name}")
  list(APPEND example_outputs ${out})
endforeach()
add_custom_target(tapdeck_webroot ALL DEPENDS ${TAPDECK_WEBROOT_FILES} ${example_outputs})
