# The include order, checked at every build before any of our libraries
# compiles: a file in one folder may include only its own folder's headers and
# those of the folders below it (cmake/check_layers.cmake holds the order).
set(PARVANE_LAYERED_FOLDERS support docx engine samples filelist cli app)

set(parvane_layer_globs)
foreach(folder IN LISTS PARVANE_LAYERED_FOLDERS)
  list(APPEND parvane_layer_globs ${PROJECT_SOURCE_DIR}/${folder}/*.h
       ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
endforeach()
file(GLOB_RECURSE parvane_layered_sources CONFIGURE_DEPENDS ${parvane_layer_globs})

set(parvane_layer_stamp ${CMAKE_BINARY_DIR}/layer-check.stamp)
add_custom_command(
  OUTPUT ${parvane_layer_stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${parvane_layer_stamp}
  DEPENDS ${parvane_layered_sources} ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake
  COMMENT "Checking every include against the layer order"
  VERBATIM)
add_custom_target(parvane_layer_check DEPENDS ${parvane_layer_stamp})

# parvane_library(NAME): the folder's static library, built after the check.
function(parvane_library name)
  add_library(${name} STATIC)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  add_dependencies(${name} parvane_layer_check)
endfunction()
