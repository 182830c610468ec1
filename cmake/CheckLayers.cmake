cmake_minimum_required(VERSION 3.25)
# Fails when a file includes a header of a layer above its own: the layers
# are linked in one direction, and so must their includes point.
#   ROOT   the source tree
#   STAMP  the file written when every include points down
# Each folder, and the folders its files may include from:
set(layers
  "base:base"
  "net:base,net"
  "hosts:base,net,hosts"
  "wake:base,net,hosts,wake"
  "discovery:base,net,hosts,wake,discovery"
  "ui:base,net,hosts,wake,discovery,ui"
  "app:base,net,hosts,wake,discovery,ui,app"
  "ui/qt:base,ui,ui/qt")
set(known base net hosts wake discovery ui app ui/qt)
set(wrong "")
foreach(layer ${layers})
  string(REPLACE ":" ";" parts "${layer}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE "," ";" allowed "${allowed}")
  file(GLOB files "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h")
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
      string(REGEX REPLACE "/[^/]*$" "" from "${header}")
      if(from STREQUAL header)
        continue()  # a generated header of the build: Version.h, the case folding table
      endif()
      if(NOT from IN_LIST known OR NOT from IN_LIST allowed)
        file(RELATIVE_PATH name "${ROOT}" "${file}")
        string(APPEND wrong "\n  ${name} includes ${header}: ${folder}/ may use ${allowed}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(wrong)
  message(FATAL_ERROR "An include points against the layers:${wrong}")
endif()
file(WRITE "${STAMP}" "")
