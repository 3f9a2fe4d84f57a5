# Post-link check of the launcher's layout:
#   cmake -DEXE=path [-DWIN64=ON -DMAP=linker-map] -P check_pe_layout.cmake
#
# An application's launcher finds its configuration block only through two
# 32-bit values at fixed file offsets, whose sum must be the end of the image:
# 552 and 556 in the 32-bit launcher (PE32: optional header of 224 bytes), 568
# and 572 in the 64-bit one (PE32+: 240 bytes). That holds when the PE header
# sits at offset 128, the optional header has its size, there are exactly five
# section headers, and the fifth section is the last one in the file.
#
# The 64-bit image also needs its function table referenced by the exception
# directory; the linker fills that directory only from a section named .pdata,
# so this step points it at the table that the linker script puts at the end
# of .text (between __zorvo_pdata_start and __zorvo_pdata_end, read from the
# link map) after checking that the table is sound. Anything else fails the
# build, and the launcher is deleted.

cmake_policy(SET CMP0054 NEW)

function(read_uint file offset bytes out)
  file(READ "${file}" hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value "")
  math(EXPR last "${bytes} * 2 - 2")
  foreach(i RANGE ${last} 0 -2)
    string(SUBSTRING "${hex}" ${i} 2 byte)
    string(APPEND value "${byte}")
  endforeach()
  math(EXPR v "0x${value}" OUTPUT_FORMAT DECIMAL)
  set(${out} ${v} PARENT_SCOPE)
endfunction()

function(fail what)
  file(REMOVE "${EXE}")  # a launcher that breaks the rule must not be used
  message(FATAL_ERROR "launcher layout check failed for ${EXE}: ${what}. "
    "The configuration block is found through the values at file offsets ${field_a} and ${field_b}; "
    "see src/res/launcher.ld and launcher64.ld.")
endfunction()

if(WIN64)
  set(optional_size 240)
  set(magic 523)  # 0x20b, PE32+
  set(field_a 568)
  set(field_b 572)
else()
  set(optional_size 224)
  set(magic 267)  # 0x10b, PE32
  set(field_a 552)
  set(field_b 556)
endif()
set(optional_at 152)
math(EXPR sections_at "${optional_at} + ${optional_size}")

if(NOT EXISTS "${EXE}")
  fail("file not found")
endif()
file(SIZE "${EXE}" size)
read_uint("${EXE}" 60 4 pe_offset)
if(NOT pe_offset EQUAL 128)
  fail("PE header at offset ${pe_offset}, not 128")
endif()
file(READ "${EXE}" sig OFFSET 128 LIMIT 4 HEX)
if(NOT sig STREQUAL "50450000")
  fail("no PE signature at offset 128")
endif()
read_uint("${EXE}" 134 2 sections)
if(NOT sections EQUAL 5)
  fail("${sections} section headers, not 5")
endif()
read_uint("${EXE}" 148 2 opt_size)
read_uint("${EXE}" ${optional_at} 2 opt_magic)
if(NOT opt_size EQUAL optional_size OR NOT opt_magic EQUAL magic)
  fail("optional header of ${opt_size} bytes with magic ${opt_magic}, not ${optional_size} with ${magic}")
endif()
set(last_end 0)
foreach(i RANGE 0 4)
  math(EXPR hdr "${sections_at} + 40 * ${i}")
  math(EXPR raw_size_at "${hdr} + 16")
  math(EXPR raw_ptr_at "${hdr} + 20")
  read_uint("${EXE}" ${raw_size_at} 4 raw_size)
  read_uint("${EXE}" ${raw_ptr_at} 4 raw_ptr)
  math(EXPR end "${raw_ptr} + ${raw_size}")
  if(end GREATER_EQUAL last_end)
    set(last_end ${end})
    set(last_index ${i})
  endif()
endforeach()
read_uint("${EXE}" ${field_a} 4 a)
read_uint("${EXE}" ${field_b} 4 b)
math(EXPR block "${a} + ${b}")
if(NOT last_index EQUAL 4)
  fail("section ${last_index}, not the fifth, ends last in the file")
endif()
if(NOT block EQUAL size)
  fail("offsets ${field_a} and ${field_b} sum to ${block}, but the image is ${size} bytes long")
endif()

if(WIN64)
  # The function table: where the link map says, sound, then referenced.
  file(READ "${MAP}" map)
  foreach(name start end)
    if(NOT map MATCHES "0x([0-9a-f]+) +__zorvo_pdata_${name} = ")
      fail("__zorvo_pdata_${name} is not in the link map ${MAP}")
    endif()
    math(EXPR pdata_${name} "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
  endforeach()
  math(EXPR image_base_at "${optional_at} + 24")
  read_uint("${EXE}" ${image_base_at} 8 image_base)
  math(EXPR table_rva "${pdata_start} - ${image_base}")
  math(EXPR table_size "${pdata_end} - ${pdata_start}")
  math(EXPR remainder "${table_size} % 12")
  if(table_size LESS 12 OR NOT remainder EQUAL 0)
    fail("the function table is ${table_size} bytes long")
  endif()
  # .text is the first section; the table lies inside its raw data.
  math(EXPR text_rva_at "${sections_at} + 12")
  math(EXPR text_raw_size_at "${sections_at} + 16")
  math(EXPR text_raw_at "${sections_at} + 20")
  read_uint("${EXE}" ${text_rva_at} 4 text_rva)
  read_uint("${EXE}" ${text_raw_size_at} 4 text_raw_size)
  read_uint("${EXE}" ${text_raw_at} 4 text_raw)
  math(EXPR table_at "${table_rva} - ${text_rva} + ${text_raw}")
  math(EXPR table_end "${table_at} + ${table_size}")
  math(EXPR text_end "${text_raw} + ${text_raw_size}")
  if(table_rva LESS text_rva OR table_end GREATER text_end)
    fail("the function table at RVA ${table_rva} is not inside .text")
  endif()
  # Sorted by start address, each range non-empty: the system searches it.
  file(READ "${EXE}" table OFFSET ${table_at} LIMIT ${table_size} HEX)
  math(EXPR entries "${table_size} / 12 - 1")
  set(previous_end 0)
  foreach(i RANGE 0 ${entries})
    math(EXPR at "${i} * 24")
    string(SUBSTRING "${table}" ${at} 16 entry)
    string(REGEX REPLACE "(..)(..)(..)(..)(..)(..)(..)(..)" "\\4\\3\\2\\1;\\8\\7\\6\\5" range "${entry}")
    list(GET range 0 first_hex)
    list(GET range 1 last_hex)
    math(EXPR first "0x${first_hex}" OUTPUT_FORMAT DECIMAL)
    math(EXPR last "0x${last_hex}" OUTPUT_FORMAT DECIMAL)
    if(NOT first LESS last OR first LESS previous_end)
      fail("function table entry ${i} (${first} to ${last}) is empty or out of order")
    endif()
    set(previous_end ${last})
  endforeach()
  # Exception directory (data directory 3) of a PE32+ optional header.
  math(EXPR directory_at "${optional_at} + 112 + 3 * 8")
  set(bytes "")
  foreach(value ${table_rva} ${table_size})
    foreach(shift 0 8 16 24)
      math(EXPR byte "(${value} >> ${shift}) & 255" OUTPUT_FORMAT DECIMAL)
      math(EXPR d2 "${byte} / 64")
      math(EXPR d1 "(${byte} / 8) % 8")
      math(EXPR d0 "${byte} % 8")
      string(APPEND bytes "\\${d2}${d1}${d0}")
    endforeach()
  endforeach()
  execute_process(
    COMMAND sh -c "printf '${bytes}' | dd of='${EXE}' bs=1 seek=${directory_at} conv=notrunc status=none"
    RESULT_VARIABLE written)
  read_uint("${EXE}" ${directory_at} 4 directory_rva)
  math(EXPR directory_size_at "${directory_at} + 4")
  read_uint("${EXE}" ${directory_size_at} 4 directory_size)
  if(NOT written EQUAL 0 OR NOT directory_rva EQUAL table_rva OR NOT directory_size EQUAL table_size)
    fail("the exception directory could not be set")
  endif()
  message(STATUS "exception directory: RVA ${table_rva}, ${table_size} bytes, ${entries}+1 functions")
endif()
message(STATUS "launcher layout ok: ${EXE} (${size} bytes, block offset ${block})")
