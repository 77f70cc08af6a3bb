# Version information carried by every executable of the project: the ten
# standard text entries of language 0416 (Portuguese, Brazil), code page 04E4
# (Windows-1252), FileVersion taken from the project's version.
#
# On Windows a VERSIONINFO resource (Version.rc) is compiled into each
# executable. Elsewhere the same entries go into a section ".cep_version" of
# the executable (VersionBlock.cpp), laid out as
#
#   "CEPVERINFO" NUL
#   { key NUL, value length (16 bits, little-endian), value bytes }...
#   NUL
#
# with the key "\VarFileInfo\Translation" holding the language and the code
# page (16 bits each, little-endian) and one key "\StringFileInfo\041604E4\Name"
# per entry holding its text in Windows-1252 and its terminating NUL.
# ui/VersionResource.h reads both forms. Version.rc is written on every
# platform, so its text can be looked at where it is not compiled.

set(CEP_FILE_DESCRIPTION "Atualização da Tabela de CEP")
set(CEP_PRODUCT_VERSION "1.0.0.0")
set(CEP_VERSION_LANGUAGE "0416")
set(CEP_VERSION_CODEPAGE "04E4")

# Hexadecimal bytes (two digits each) of `text` in Windows-1252. Accepts
# ASCII and the Latin-1 letters, which have the same codes in both.
function(_cep_win1252_hex text out)
  string(HEX "${text}" utf8)
  string(LENGTH "${utf8}" length)
  set(result "")
  set(i 0)
  while(i LESS length)
    string(SUBSTRING "${utf8}" ${i} 2 byte)
    math(EXPR i "${i} + 2")
    if(byte STREQUAL "c2" OR byte STREQUAL "c3")
      string(SUBSTRING "${utf8}" ${i} 2 next)
      math(EXPR i "${i} + 2")
      math(EXPR code "0x${next} - 0x80 + (0x${byte} - 0xc2) * 64 + 0x80")
      if(code LESS 160)
        message(FATAL_ERROR "Version text \"${text}\": no Windows-1252 character for U+00${next}")
      endif()
      math(EXPR code "${code}" OUTPUT_FORMAT HEXADECIMAL)
      string(SUBSTRING "${code}" 2 -1 byte)
    else()
      math(EXPR code "0x${byte}")
      if(code GREATER_EQUAL 128)
        message(FATAL_ERROR "Version text \"${text}\" is not Latin-1")
      endif()
    endif()
    string(APPEND result "${byte}")
  endwhile()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Appends to `var` one entry of the block: key, NUL, 16-bit length, value.
function(_cep_block_entry var key value_hex)
  _cep_win1252_hex("${key}" key_hex)
  string(LENGTH "${value_hex}" digits)
  math(EXPR size "${digits} / 2")
  math(EXPR low "${size} % 256" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR high "${size} / 256" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${low}" 2 -1 low)
  string(SUBSTRING "${high}" 2 -1 high)
  string(LENGTH "${low}" n)
  if(n EQUAL 1)
    set(low "0${low}")
  endif()
  string(LENGTH "${high}" n)
  if(n EQUAL 1)
    set(high "0${high}")
  endif()
  set(${var} "${${var}}${key_hex}00${low}${high}${value_hex}" PARENT_SCOPE)
endfunction()

set(_cep_entries
  CompanyName ""
  FileDescription "${CEP_FILE_DESCRIPTION}"
  FileVersion "${PROJECT_VERSION}"
  InternalName ""
  LegalCopyright ""
  LegalTrademarks ""
  OriginalFilename ""
  ProductName ""
  ProductVersion "${CEP_PRODUCT_VERSION}"
  Comments "")

set(_cep_block_id "${CEP_VERSION_LANGUAGE}${CEP_VERSION_CODEPAGE}")
_cep_win1252_hex("CEPVERINFO" _cep_block)
string(APPEND _cep_block "00")
string(SUBSTRING "${CEP_VERSION_LANGUAGE}" 0 2 _lang_high)
string(SUBSTRING "${CEP_VERSION_LANGUAGE}" 2 2 _lang_low)
string(SUBSTRING "${CEP_VERSION_CODEPAGE}" 0 2 _cp_high)
string(SUBSTRING "${CEP_VERSION_CODEPAGE}" 2 2 _cp_low)
set(_translation "${_lang_low}${_lang_high}${_cp_low}${_cp_high}")
string(TOLOWER "${_translation}" _translation)
_cep_block_entry(_cep_block "\\VarFileInfo\\Translation" "${_translation}")
set(_cep_rc_values "")
list(LENGTH _cep_entries _count)
math(EXPR _last "${_count} - 1")
foreach(i RANGE 0 ${_last} 2)
  math(EXPR j "${i} + 1")
  list(GET _cep_entries ${i} name)
  list(GET _cep_entries ${j} value)
  _cep_win1252_hex("${value}" value_hex)
  _cep_block_entry(_cep_block "\\StringFileInfo\\${_cep_block_id}\\${name}" "${value_hex}00")
  string(APPEND _cep_rc_values "            VALUE \"${name}\", \"${value}\\0\"\n")
endforeach()
string(APPEND _cep_block "00")

# The bytes as a C initialiser, 16 a line.
string(LENGTH "${_cep_block}" _digits)
set(CEP_VERSION_BYTES "")
set(i 0)
set(_column 0)
while(i LESS _digits)
  string(SUBSTRING "${_cep_block}" ${i} 2 byte)
  if(_column EQUAL 0)
    string(APPEND CEP_VERSION_BYTES "\n   ")
  endif()
  string(APPEND CEP_VERSION_BYTES " 0x${byte},")
  math(EXPR i "${i} + 2")
  math(EXPR _column "(${_column} + 1) % 16")
endwhile()

string(REPLACE "." "," CEP_FILE_VERSION_COMMAS "${PROJECT_VERSION}")
string(REPLACE "." "," CEP_PRODUCT_VERSION_COMMAS "${CEP_PRODUCT_VERSION}")
math(EXPR CEP_VERSION_CODEPAGE_DECIMAL "0x${CEP_VERSION_CODEPAGE}")
set(CEP_VERSION_RC_VALUES "${_cep_rc_values}")
set(CEP_VERSION_BLOCK_ID "${_cep_block_id}")
set(CEP_ICON_FILE "${PROJECT_SOURCE_DIR}/ui/icons/cep.ico")

set(_cep_version_dir ${CMAKE_BINARY_DIR}/version)
configure_file(${CMAKE_CURRENT_LIST_DIR}/VersionBlock.cpp.in ${_cep_version_dir}/VersionBlock.cpp @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.rc.in ${_cep_version_dir}/Version.rc @ONLY)

if(WIN32)
  add_library(cep_version_info INTERFACE)
  target_sources(cep_version_info INTERFACE ${_cep_version_dir}/Version.rc)
else()
  # An object library: its object goes into each executable as it is, so the
  # linker never leaves the block out.
  add_library(cep_version_info OBJECT ${_cep_version_dir}/VersionBlock.cpp)
endif()
