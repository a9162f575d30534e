# Every header of our libraries compiles on its own, and twice in a row (its
# guard holds): one generated source per header, compiled with the usage
# requirements of the folder's library. Built by the header_check test, or by
# hand: cmake --build build --target parvane_header_check
set(parvane_header_libraries
  support parvane_support
  docx parvane_docx
  engine parvane_engine
  samples parvane_samplegen)
if(PARVANE_WITH_QT)
  list(APPEND parvane_header_libraries filelist parvane_filelist app parvane_app)
endif()

add_custom_target(parvane_header_check)
set(parvane_header_dir ${CMAKE_BINARY_DIR}/header-check)
while(parvane_header_libraries)
  list(POP_FRONT parvane_header_libraries folder library)
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
       ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  set(sources)
  foreach(header IN LISTS headers)
    string(MAKE_C_IDENTIFIER "${header}" stem)
    set(source ${parvane_header_dir}/${stem}.cpp)
    set(text "#include \"${header}\"\n#include \"${header}\"\n")
    # Written only when it changes, so that a new configure rebuilds nothing.
    if(EXISTS ${source})
      file(READ ${source} old)
    else()
      set(old "")
    endif()
    if(NOT old STREQUAL text)
      file(WRITE ${source} "${text}")
    endif()
    list(APPEND sources ${source})
  endforeach()
  add_library(parvane_header_check_${folder} OBJECT EXCLUDE_FROM_ALL ${sources})
  target_link_libraries(parvane_header_check_${folder} PRIVATE ${library})
  set_target_properties(parvane_header_check_${folder} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  add_dependencies(parvane_header_check parvane_header_check_${folder})
endwhile()

add_test(NAME header_check
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target parvane_header_check)
set_tests_properties(header_check PROPERTIES TIMEOUT 1200)
