# Checks that the core's folders include each other only downwards:
#   cmake -DSOURCE=<repo> -P IncludeLayers.cmake
# A folder may include its own headers and those of the folders before it in
# LAYERS; the player object (core/*.h) sits above every folder. Fails with one
# line per include that goes up or sideways.
set(LAYERS format render view host net text sound movie input print script)
file(GLOB_RECURSE files RELATIVE ${SOURCE} ${SOURCE}/core/*.h ${SOURCE}/core/*.cpp)
set(bad "")
foreach(file ${files})
  string(REGEX MATCH "^core/([a-z]+)/" match "${file}")
  if(NOT match)
    continue()  # the player object may include anything
  endif()
  set(folder ${CMAKE_MATCH_1})
  list(FIND LAYERS ${folder} level)
  if(level EQUAL -1)
    string(APPEND bad "${file}: folder '${folder}' has no place in the layers\n")
    continue()
  endif()
  file(STRINGS ${SOURCE}/${file} includes REGEX "^#include \"core/")
  foreach(line ${includes})
    string(REGEX MATCH "\"core/([^\"]+)\"" m "${line}")
    set(target ${CMAKE_MATCH_1})
    if(target MATCHES "^([a-z]+)/")
      list(FIND LAYERS ${CMAKE_MATCH_1} targetLevel)
    else()
      set(targetLevel 999)  # the player object
    endif()
    if(targetLevel GREATER level)
      string(APPEND bad "${file} includes core/${target}\n")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "includes against the layers (${LAYERS}):\n${bad}")
endif()
