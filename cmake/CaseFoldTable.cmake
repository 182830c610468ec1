# Makes the case folding table of the host names from the Unicode
# character database's CaseFolding.txt (Debian's unicode-data): the simple
# foldings, statuses C and S, as "{code point, fold}," lines in code point
# order, ready to be included into an array.
#   NUVIK_CASEFOLDING_TXT  the input file
#   NUVIK_CASEFOLD_TABLE   the file to write
if(NOT EXISTS "${NUVIK_CASEFOLDING_TXT}")
  message(FATAL_ERROR "${NUVIK_CASEFOLDING_TXT} is missing: install Debian's unicode-data package "
                      "(scripts/deps.sh build), or set NUVIK_CASEFOLDING_TXT")
endif()
file(STRINGS "${NUVIK_CASEFOLDING_TXT}" nuvik_fold_lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
list(LENGTH nuvik_fold_lines nuvik_fold_count)
if(nuvik_fold_count LESS 1000)
  message(FATAL_ERROR "${NUVIK_CASEFOLDING_TXT} holds only ${nuvik_fold_count} simple case foldings")
endif()
list(TRANSFORM nuvik_fold_lines REPLACE "^([0-9A-F]+); [CS]; ([0-9A-F]+);.*$" "{0x\\1, 0x\\2},")
list(JOIN nuvik_fold_lines "\n" nuvik_fold_text)
file(WRITE "${NUVIK_CASEFOLD_TABLE}.tmp"
  "// Generated from ${NUVIK_CASEFOLDING_TXT} (statuses C and S).\n${nuvik_fold_text}\n")
# Rewritten only when it changed, so that nothing is rebuilt for nothing.
configure_file("${NUVIK_CASEFOLD_TABLE}.tmp" "${NUVIK_CASEFOLD_TABLE}" COPYONLY)
file(REMOVE "${NUVIK_CASEFOLD_TABLE}.tmp")
set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${NUVIK_CASEFOLDING_TXT}")
