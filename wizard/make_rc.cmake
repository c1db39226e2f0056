# Writes the Win32 resource script of quillogen from wizard/res, at build
# time (cmake -DRES_DIR=... -DOUTPUT=... -P make_rc.cmake):
#   the string table      from strings.txt
#   VERSIONINFO           from version.txt
#   bitmaps 129 and 137, icon 128
#   DIALOGS, VERSION_TEXTS  dialogs.txt and version.txt as raw data, which
#                         the program parses as the Qt build does
# The tables' texts use \n, \" and \\; a resource script writes a double
# quote doubled and keeps the other two.

function(rc_text out text)
  string(REPLACE "\\\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The lines of a table that are neither blank nor comments.
function(table_lines out file)
  file(STRINGS "${file}" lines ENCODING UTF-8)
  set(kept "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    endif()
    list(APPEND kept "${line}")
  endforeach()
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

foreach(file strings.txt version.txt)
  file(READ "${RES_DIR}/${file}" content)
  if(content MATCHES ";")
    message(FATAL_ERROR "${file}: a semicolon cannot pass through this script")
  endif()
endforeach()

set(rc "// Generated from wizard/res by make_rc.cmake: edit the tables there.\n")
string(APPEND rc "#pragma code_page(65001)\n\n")

string(APPEND rc "128 ICON \"${RES_DIR}/icon128.ico\"\n")
string(APPEND rc "129 BITMAP \"${RES_DIR}/bitmap129.bmp\"\n")
string(APPEND rc "137 BITMAP \"${RES_DIR}/bitmap137.bmp\"\n")
string(APPEND rc "DIALOGS RCDATA \"${RES_DIR}/dialogs.txt\"\n")
string(APPEND rc "VERSION_TEXTS RCDATA \"${RES_DIR}/version.txt\"\n\n")

table_lines(strings "${RES_DIR}/strings.txt")
string(APPEND rc "STRINGTABLE\nBEGIN\n")
foreach(line IN LISTS strings)
  if(NOT line MATCHES "^([0-9]+)[ \t]+\"(.*)\"[ \t]*$")
    message(FATAL_ERROR "strings.txt: cannot read ${line}")
  endif()
  rc_text(text "${CMAKE_MATCH_2}")
  string(APPEND rc "  ${CMAKE_MATCH_1}, \"${text}\"\n")
endforeach()
string(APPEND rc "END\n\n")

table_lines(versions "${RES_DIR}/version.txt")
set(values "")
foreach(line IN LISTS versions)
  if(NOT line MATCHES "^([A-Za-z]+)[ \t]+\"(.*)\"[ \t]*$")
    message(FATAL_ERROR "version.txt: cannot read ${line}")
  endif()
  set(key "${CMAKE_MATCH_1}")
  rc_text(text "${CMAKE_MATCH_2}")
  set(version_${key} "${CMAKE_MATCH_2}")
  string(APPEND values "      VALUE \"${key}\", \"${text}\\0\"\n")
endforeach()
# "4, 0, 0, 0" gives the numbers 4,0,0,0.
string(REPLACE " " "" file_version "${version_FileVersion}")
string(REPLACE " " "" product_version "${version_ProductVersion}")
string(APPEND rc "1 VERSIONINFO\n")
string(APPEND rc "FILEVERSION ${file_version}\nPRODUCTVERSION ${product_version}\n")
# A 32-bit Windows application (VOS_NT_WINDOWS32, VFT_APP).
string(APPEND rc "FILEFLAGSMASK 0x3f\nFILEFLAGS 0x0\nFILEOS 0x40004\nFILETYPE 0x1\nFILESUBTYPE 0x0\n")
string(APPEND rc "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904e4\"\n    BEGIN\n")
string(APPEND rc "${values}")
string(APPEND rc "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1252\n  END\nEND\n")

# Written only when it changed, so that an unchanged table links nothing anew.
set(temporary "${OUTPUT}.new")
file(WRITE "${temporary}" "${rc}")
file(COPY_FILE "${temporary}" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${temporary}")
