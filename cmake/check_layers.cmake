# cmake -DSOURCE_DIR=<the source tree> -P check_layers.cmake
#
# Fails when a file includes a header of a folder it may not use. The order,
# lowest first:
#   support -> docx -> engine -> {filelist, cli} -> app
# samples/ (the sample merges) may use support and docx; no shipped folder may
# use samples. support, docx, engine and samples are Qt-free: they include no
# Qt header. Tests and benchmarks may include anything.
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers.cmake needs -DSOURCE_DIR=...")
endif()

set(allowed_support support)
set(allowed_docx support docx)
set(allowed_engine support docx engine)
set(allowed_samples support docx samples)
set(allowed_filelist support docx engine filelist)
set(allowed_cli support docx engine cli)
set(allowed_app support docx engine filelist app)
set(qt_free support docx engine samples)
set(all_folders support docx engine samples filelist cli app)

set(problems)
foreach(folder IN LISTS all_folders)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp"
       "${SOURCE_DIR}/${folder}/*.in")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^/\"]+)/")
        set(target "${CMAKE_MATCH_1}")
        list(FIND all_folders "${target}" known)
        list(FIND allowed_${folder} "${target}" permitted)
        if(known GREATER -1 AND permitted EQUAL -1)
          list(APPEND problems "${shown}: ${folder}/ may not include ${target}/ (${line})")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
        list(FIND qt_free "${folder}" strict)
        if(strict GREATER -1)
          list(APPEND problems "${shown}: ${folder}/ is Qt-free (${line})")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Includes against the layer order "
                      "(support -> docx -> engine -> {filelist, cli} -> app):\n  ${text}")
endif()
