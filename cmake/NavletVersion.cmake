# The version-information block of our modules. Windows modules get a
# VERSIONINFO resource from the resource compiler; Linux modules carry the
# same binary block in the ELF section ".navlet_version", written by the
# verblock tool, so one reader (version/version_info.h) serves both.
#
#   navlet_version_resource(target VERSION a.b.c.d DESCRIPTION text
#                           [PRODUCT text] [COMPANY text] [COPYRIGHT text])
#   navlet_version_rc_file(output VERSION a.b.c.d DESCRIPTION text FILENAME name ...)
#     writes the .rc alone, for modules built outside CMake's own toolchain.
#
# Values must not contain ';' (they travel as CMake list items).

if(WIN32)
  enable_language(RC)
else()
  enable_language(ASM)
endif()

# Name=Value pairs in the order both writers emit them; FileVersion comes first.
function(_navlet_version_pairs out_var)
  cmake_parse_arguments(ARG "" "VERSION;DESCRIPTION;PRODUCT;COMPANY;COPYRIGHT;FILENAME;INTERNAL" "" ${ARGN})
  if(NOT ARG_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "navlet version resource: VERSION must be a.b.c.d, got '${ARG_VERSION}'")
  endif()
  if(NOT ARG_PRODUCT)
    set(ARG_PRODUCT "Navlet")
  endif()
  if(NOT ARG_COMPANY)
    set(ARG_COMPANY "Navlet")
  endif()
  set(pairs
    "FileVersion=${ARG_VERSION}"
    "CompanyName=${ARG_COMPANY}"
    "FileDescription=${ARG_DESCRIPTION}"
    "InternalName=${ARG_INTERNAL}"
    "OriginalFilename=${ARG_FILENAME}"
    "ProductName=${ARG_PRODUCT}"
    "ProductVersion=${ARG_VERSION}")
  if(ARG_COPYRIGHT)
    list(APPEND pairs "LegalCopyright=${ARG_COPYRIGHT}")
  endif()
  set(${out_var} "${pairs}" PARENT_SCOPE)
endfunction()

function(_navlet_rc_text out_var version pairs)
  string(REPLACE "." "," numbers "${version}")
  set(values "")
  foreach(pair IN LISTS pairs)
    string(FIND "${pair}" "=" eq)
    string(SUBSTRING "${pair}" 0 ${eq} name)
    math(EXPR from "${eq} + 1")
    string(SUBSTRING "${pair}" ${from} -1 value)
    string(REPLACE "\"" "\"\"" value "${value}")
    string(APPEND values "      VALUE \"${name}\", \"${value}\"\n")
  endforeach()
  set(${out_var} "1 VERSIONINFO
FILEVERSION ${numbers}
PRODUCTVERSION ${numbers}
FILEFLAGSMASK 0x3F
FILEFLAGS 0x0
FILEOS 0x40004
FILETYPE 0x2
FILESUBTYPE 0x0
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904E4\"
    BEGIN
${values}    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x0409, 1252
  END
END
" PARENT_SCOPE)
endfunction()

function(navlet_version_rc_file output)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  _navlet_version_pairs(pairs ${ARGN})
  _navlet_rc_text(text "${ARG_VERSION}" "${pairs}")
  file(GENERATE OUTPUT ${output} CONTENT "${text}")
endfunction()

function(navlet_version_resource target)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  set(stem ${CMAKE_CURRENT_BINARY_DIR}/${target}_version)
  _navlet_version_pairs(pairs ${ARGN}
    FILENAME "$<TARGET_FILE_NAME:${target}>" INTERNAL "$<TARGET_FILE_BASE_NAME:${target}>")
  if(WIN32)
    _navlet_rc_text(text "${ARG_VERSION}" "${pairs}")
    file(GENERATE OUTPUT ${stem}.rc CONTENT "${text}")
    target_sources(${target} PRIVATE ${stem}.rc)
    return()
  endif()

  navlet_version_block(${stem}.bin ${ARGN}
    FILENAME "$<TARGET_FILE_NAME:${target}>" INTERNAL "$<TARGET_FILE_BASE_NAME:${target}>")
  navlet_version_section_asm(${stem}.S ${stem}.bin)
  set_source_files_properties(${stem}.S PROPERTIES OBJECT_DEPENDS ${stem}.bin)
  target_sources(${target} PRIVATE ${stem}.S ${stem}.bin)
endfunction()

# navlet_version_block(output VERSION a.b.c.d DESCRIPTION text FILENAME name ...)
# A build rule that writes the binary block with verblock.
function(navlet_version_block output)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  _navlet_version_pairs(pairs ${ARGN})
  list(REMOVE_AT pairs 0) # verblock writes FileVersion from the version itself
  get_property(verblock GLOBAL PROPERTY NAVLET_VERBLOCK)
  add_custom_command(OUTPUT ${output}
    COMMAND ${verblock} ${output} ${ARG_VERSION} ${pairs}
    DEPENDS navlet_verblock ${verblock}
    COMMENT "Writing the version block ${output}"
    VERBATIM)
endfunction()

# An assembler file that puts the block into ".navlet_version". "R" keeps the
# section when the linker collects unreferenced sections: nothing in the
# module refers to it, the reader finds it by name in the file.
function(navlet_version_section_asm output block)
  file(GENERATE OUTPUT ${output} CONTENT "\t.section .navlet_version,\"aR\"
\t.p2align 2
\t.incbin \"${block}\"
\t.section .note.GNU-stack,\"\",@progbits
")
endfunction()
