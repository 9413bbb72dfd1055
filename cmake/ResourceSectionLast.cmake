# The Windows stub's linker script: the toolchain's own default script with
# the resource section (.rsrc) moved behind the base relocations (.reloc),
# so that .rsrc is the last section of the image and of the file. bvsfx
# rewrites the resources of its copy of the stub (the publisher's icon and
# version information); with .rsrc last, nothing else in the image moves
# when the section grows or shrinks.
#
# The script also drops the DWARF unwind tables (.eh_frame) that the C
# runtime's and libgcc's objects carry: the stub is built without exceptions
# and links no unwinder and no startup object that registers the tables, so
# nothing reads them.
#
# The initialized data (.data) is placed in the import section (.idata)
# rather than in a section of its own.
#
# brivane_resource_section_last(target) links target with that script.
function(brivane_resource_section_last target)
  execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${CMAKE_LINKER} --verbose failed: cannot read the default linker script")
  endif()
  # The script is printed between two lines of '=' signs.
  string(REGEX MATCH "\n=+\n(.*)\n=+" script_block "${verbose}")
  set(script "${CMAKE_MATCH_1}")
  set(rsrc_block "  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)\n  {\n    KEEP (*(.rsrc))\n    KEEP (*(.rsrc$*))\n  }\n")
  set(reloc_block "  .reloc BLOCK(__section_alignment__) :\n  {\n    *(.reloc)\n  }\n")
  string(FIND "${script}" "${rsrc_block}" rsrc_at)
  string(FIND "${script}" "${reloc_block}" reloc_at)
  if(rsrc_at LESS 0 OR reloc_at LESS 0)
    message(FATAL_ERROR "the default linker script of ${CMAKE_LINKER} has no .rsrc or .reloc statement of the "
                        "expected form: cmake/ResourceSectionLast.cmake needs adapting")
  endif()
  # (The i686 and x86-64 scripts differ in the spacing of KEEP.)
  string(REGEX MATCH "  \\.eh_frame BLOCK\\(__section_alignment__\\) :\n  {\n    KEEP ?\\(\\*\\(\\.eh_frame\\*\\)\\)\n  }\n"
         eh_frame_block "${script}")
  set(discard_block "  /DISCARD/ :\n  {\n")
  string(FIND "${script}" "${discard_block}" discard_at)
  if(NOT eh_frame_block OR discard_at LESS 0)
    message(FATAL_ERROR "the default linker script of ${CMAKE_LINKER} has no .eh_frame or /DISCARD/ statement "
                        "of the expected form: cmake/ResourceSectionLast.cmake needs adapting")
  endif()
  # The initialized writable data (a few hundred bytes) goes into the
  # import section, which is writable too: a section of its own would
  # take a whole file-alignment unit (512 bytes) in every installer.
  string(REGEX MATCH "  \\.data BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)  }\n" data_block "${script}")
  set(data_body "${CMAKE_MATCH_1}")
  set(idata_end "    KEEP (SORT(*)(.idata$7))\n  }\n")
  string(FIND "${script}" "${idata_end}" idata_end_at)
  if(NOT data_block OR idata_end_at LESS 0)
    message(FATAL_ERROR "the default linker script of ${CMAKE_LINKER} has no .data or .idata statement of the "
                        "expected form: cmake/ResourceSectionLast.cmake needs adapting")
  endif()
  string(REPLACE "${data_block}" "" script "${script}")
  string(REPLACE "${idata_end}" "    KEEP (SORT(*)(.idata$7))\n${data_body}  }\n" script "${script}")
  string(REPLACE "${eh_frame_block}" "" script "${script}")
  string(REPLACE "${discard_block}" "${discard_block}    *(.eh_frame*)\n" script "${script}")
  string(REPLACE "${rsrc_block}" "" script "${script}")
  string(REPLACE "${reloc_block}" "${reloc_block}${rsrc_block}" script "${script}")
  set(script_file ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources-last.ld)
  file(WRITE ${script_file} "${script}\n")
  target_link_options(${target} PRIVATE -Wl,-T,${script_file})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script_file})
endfunction()
