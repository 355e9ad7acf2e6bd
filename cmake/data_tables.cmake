# Turns the detection tables under data/ into C++ headers (cmake -P).
#   -DDATA_DIR=<dir with the .tsv files> -DOUT_DIR=<dir> -DVERSION=<project version>
# Writes OUT_DIR/checks/detection_tables.hpp (the tables) and
# OUT_DIR/checks/table_identity.hpp (the version and a digest of the data
# files, so a verdict can be traced to the table build that produced it).
#
# Format of a table: a line starting with "#" is a comment, blank lines are skipped, the first
# other line names the columns, every further line is one row of tab-separated
# cells; "-" is the empty cell. Rows are checked here so that a slip in a data
# file stops the build instead of silently never matching.
cmake_minimum_required(VERSION 3.25)

foreach(required DATA_DIR OUT_DIR VERSION)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "data_tables.cmake: -D${required}= is required")
  endif()
endforeach()

# Name, expected columns, C++ row type, and per column: the check to apply.
set(TABLES
  cheat_process_names known_cheat_digests known_bad_holder_digests tool_processes
  fuzzy_corpus_builds fuzzy_corpus_sections fuzzy_corpus_layout_rules
  graphics_wrappers wrapper_vendor_signers)

set(cheat_process_names_COLUMNS name list)
set(cheat_process_names_CHECKS lower verdict_or_inspection)
set(cheat_process_names_TYPE CheatProcessName)
set(cheat_process_names_ARRAY kCheatProcessNames)

set(known_cheat_digests_COLUMNS md5 note)
set(known_cheat_digests_CHECKS md5 any)
set(known_cheat_digests_TYPE KnownDigest)
set(known_cheat_digests_ARRAY kKnownCheatDigests)

set(known_bad_holder_digests_COLUMNS md5 note)
set(known_bad_holder_digests_CHECKS md5 any)
set(known_bad_holder_digests_TYPE KnownDigest)
set(known_bad_holder_digests_ARRAY kKnownBadHolderDigests)

set(tool_processes_COLUMNS name category)
set(tool_processes_CHECKS lower word)
set(tool_processes_TYPE ToolProcess)
set(tool_processes_ARRAY kToolProcesses)

set(fuzzy_corpus_builds_COLUMNS rule_id family code_md5 import_md5 data_md5)
set(fuzzy_corpus_builds_CHECKS word word md5_or_empty md5_or_empty md5_or_empty)
set(fuzzy_corpus_builds_TYPE CorpusBuild)
set(fuzzy_corpus_builds_ARRAY kCorpusBuilds)

set(fuzzy_corpus_sections_COLUMNS section feature)
set(fuzzy_corpus_sections_CHECKS lower word)
set(fuzzy_corpus_sections_TYPE PackerSection)
set(fuzzy_corpus_sections_ARRAY kPackerSections)

set(fuzzy_corpus_layout_rules_COLUMNS rule_id family confidence features)
set(fuzzy_corpus_layout_rules_CHECKS word word confidence word_list)
set(fuzzy_corpus_layout_rules_TYPE LayoutRule)
set(fuzzy_corpus_layout_rules_ARRAY kLayoutRules)

set(graphics_wrappers_COLUMNS module)
set(graphics_wrappers_CHECKS lower)
set(graphics_wrappers_TYPE WrapperModule)
set(graphics_wrappers_ARRAY kWrapperModules)

set(wrapper_vendor_signers_COLUMNS module publisher)
set(wrapper_vendor_signers_CHECKS lower lower)
set(wrapper_vendor_signers_TYPE VendorSigner)
set(wrapper_vendor_signers_ARRAY kVendorSigners)

function(cell_ok check value out)
  set(ok TRUE)
  string(TOLOWER "${value}" lower)
  if(check STREQUAL "lower")
    if(value STREQUAL "" OR NOT value STREQUAL lower)
      set(ok FALSE)
    endif()
  elseif(check STREQUAL "md5")
    if(NOT value MATCHES "^[0-9a-f]+$" OR NOT value MATCHES "^................................$")
      set(ok FALSE)
    endif()
  elseif(check STREQUAL "md5_or_empty")
    if(NOT value STREQUAL "")
      cell_ok(md5 "${value}" ok)
    endif()
  elseif(check STREQUAL "word")
    if(NOT value MATCHES "^[a-z0-9_.-]+$")
      set(ok FALSE)
    endif()
  elseif(check STREQUAL "word_list")
    if(NOT value MATCHES "^[a-z0-9_.-]+(,[a-z0-9_.-]+)*$")
      set(ok FALSE)
    endif()
  elseif(check STREQUAL "confidence")
    if(NOT value MATCHES "^(high|medium|low)$")
      set(ok FALSE)
    endif()
  elseif(check STREQUAL "verdict_or_inspection")
    if(NOT value MATCHES "^(verdict|inspection)$")
      set(ok FALSE)
    endif()
  endif()
  set(${out} ${ok} PARENT_SCOPE)
endfunction()

function(cxx_literal value out)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

set(body "")
set(identity_input "")
foreach(table IN LISTS TABLES)
  set(file "${DATA_DIR}/${table}.tsv")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${file}: missing detection table")
  endif()
  file(READ "${file}" content)
  file(SHA256 "${file}" file_digest)
  string(APPEND identity_input "${table}.tsv ${file_digest}\n")
  string(REPLACE "\r" "" content "${content}")
  # Comments go first (their newlines stay, so line numbers hold). CMake lists
  # split on ";" and group "[...]": neither may appear in a row.
  string(REGEX REPLACE "\n#[^\n]*" "\n" content "\n${content}")
  string(SUBSTRING "${content}" 1 -1 content)
  foreach(forbidden ";" "[" "]")
    string(FIND "${content}" "${forbidden}" at)
    if(at GREATER -1)
      message(FATAL_ERROR "${file}: the characters ; [ ] are not allowed in a data file")
    endif()
  endforeach()
  string(REPLACE "\n" ";" lines "${content}")

  set(columns ${${table}_COLUMNS})
  set(checks ${${table}_CHECKS})
  list(LENGTH columns column_count)
  math(EXPR last_column "${column_count} - 1")
  set(header_seen FALSE)
  set(rows "")
  set(row_count 0)
  set(seen_keys "")
  set(line_number 0)
  foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(line STREQUAL "")
      continue()
    endif()
    string(REPLACE "\t" ";" cells "${line}")
    list(LENGTH cells cell_count)
    if(NOT cell_count EQUAL column_count)
      message(FATAL_ERROR "${file}:${line_number}: ${cell_count} cells, expected ${column_count} (${columns}) separated by tabs")
    endif()
    if(NOT header_seen)
      if(NOT cells STREQUAL columns)
        message(FATAL_ERROR "${file}:${line_number}: the column line must read: ${columns}")
      endif()
      set(header_seen TRUE)
      continue()
    endif()
    set(literals "")
    foreach(i RANGE ${last_column})
      list(GET cells ${i} cell)
      if(cell STREQUAL "-")
        set(cell "")
      endif()
      list(GET checks ${i} check)
      list(GET columns ${i} column)
      cell_ok(${check} "${cell}" ok)
      if(NOT ok)
        message(FATAL_ERROR "${file}:${line_number}: bad ${column} '${cell}' (expected ${check})")
      endif()
      if(check STREQUAL "verdict_or_inspection")
        if(cell STREQUAL "verdict")
          set(literal "true")
        else()
          set(literal "false")
        endif()
      else()
        cxx_literal("${cell}" literal)
      endif()
      list(APPEND literals "${literal}")
    endforeach()
    # The first column identifies a row (pairs for the many-to-one tables).
    list(GET cells 0 key)
    if(table STREQUAL "wrapper_vendor_signers")
      list(GET cells 1 second)
      string(APPEND key " ${second}")
    endif()
    if("${key}" IN_LIST seen_keys)
      message(FATAL_ERROR "${file}:${line_number}: '${key}' is listed twice")
    endif()
    list(APPEND seen_keys "${key}")
    list(JOIN literals ", " joined)
    string(APPEND rows "    {${joined}},\n")
    math(EXPR row_count "${row_count} + 1")
  endforeach()
  if(NOT header_seen)
    message(FATAL_ERROR "${file}: no column line (${columns})")
  endif()
  string(APPEND body
    "// ${table}.tsv\n"
    "inline constexpr std::array<${${table}_TYPE}, ${row_count}> ${${table}_ARRAY}{{\n${rows}}};\n\n")
endforeach()

string(SHA256 identity "${identity_input}")

set(tables_header "// Generated by cmake/data_tables.cmake from the data files; edit those instead.
#pragma once

#include <array>

#include \"checks/table_rows.hpp\"

namespace ac::tables {

${body}}  // namespace ac::tables
")
set(identity_header "// Generated by cmake/data_tables.cmake; edit nothing here.
#pragma once

#include <string_view>

namespace ac::tables {
inline constexpr std::string_view kProjectVersion = \"${VERSION}\";
// SHA-256 over the names and SHA-256 digests of the data files.
inline constexpr std::string_view kTableIdentity = \"${identity}\";
}  // namespace ac::tables
")

# Written only when changed, so that a rebuild recompiles only what changed.
foreach(pair "detection_tables.hpp|tables_header" "table_identity.hpp|identity_header")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 var)
  set(target "${OUT_DIR}/checks/${name}")
  set(old "")
  if(EXISTS "${target}")
    file(READ "${target}" old)
  endif()
  if(NOT old STREQUAL "${${var}}")
    file(WRITE "${target}" "${${var}}")
  endif()
endforeach()
