# Makes the help's sample document, a Word 97 file, from the generated merge
# SOURCE (.docx) with LibreOffice: cmake -DSOURCE=... -DTARGET=... -DSOFFICE=...
# -DWORK=... -DPROFILE=... -DTIMEOUT=... -P make_legacy_doc.cmake
#
# When LibreOffice is missing, fails or takes too long, the merge's .docx
# content ships under the target name instead (Word and LibreOffice open it by
# its content), and the build says so.

foreach(var SOURCE TARGET WORK PROFILE TIMEOUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_legacy_doc.cmake needs -D${var}=...")
  endif()
endforeach()

function(ship_docx_instead reason)
  message(WARNING
    "Sample Mail Merge Document.doc: ${reason}. Shipping the merge's .docx content "
    "under the .doc name instead; it is not a Word 97 file.")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
endfunction()

if(NOT SOFFICE OR NOT EXISTS "${SOFFICE}")
  ship_docx_instead("LibreOffice (soffice) was not found")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
get_filename_component(name "${SOURCE}" NAME_WE)
# A profile of our own, so that a running LibreOffice or a parallel test never
# holds its lock.
execute_process(
  COMMAND "${SOFFICE}" "-env:UserInstallation=file://${PROFILE}" --headless --norestore
          --convert-to "doc:MS Word 97" --outdir "${WORK}" "${SOURCE}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output
  TIMEOUT ${TIMEOUT})
set(converted "${WORK}/${name}.doc")
if(NOT result EQUAL 0 OR NOT EXISTS "${converted}")
  string(STRIP "${output}" output)
  ship_docx_instead("LibreOffice could not convert it (${result}: ${output})")
  return()
endif()

# A Word 97 file is an OLE compound file; anything else is not what we meant to ship.
file(READ "${converted}" signature LIMIT 8 HEX)
if(NOT signature STREQUAL "d0cf11e0a1b11ae1")
  ship_docx_instead("LibreOffice wrote something that is not a Word 97 file")
  return()
endif()
file(COPY_FILE "${converted}" "${TARGET}")
message(STATUS "Sample Mail Merge Document.doc made by LibreOffice (Word 97 format)")
