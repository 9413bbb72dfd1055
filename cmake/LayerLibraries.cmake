# One static library per layer of the support library, each compiled against
# an include view: a folder of the build tree holding links to the source
# folders the layer owns. A layer's view is public, so a layer that links a
# lower one sees the lower one's folders as well; nothing sees a higher
# layer's folders, and `#include "io/..."` in core/ fails to compile.
#
# BRIVANE_SOURCES collects every layer's sources (the stub's own build
# compiles them again).

set(BRIVANE_SOURCES "")
set(BRIVANE_LAYER_VIEWS_DIR ${CMAKE_BINARY_DIR}/layer-views)

# brivane_add_layer(<name> FOLDERS <folder>... SOURCES <folder>... [DEPENDS <target>...])
#   builds brivane_<name> from SOURCES/*.cpp; FOLDERS are the source folders
#   that enter the layer's include view.
function(brivane_add_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "FOLDERS;SOURCES;DEPENDS")
  set(view ${BRIVANE_LAYER_VIEWS_DIR}/${name})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${layer_FOLDERS})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  set(sources "")
  foreach(folder ${layer_SOURCES})
    file(GLOB folder_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND sources ${folder_sources})
  endforeach()
  add_library(brivane_${name} STATIC ${sources})
  target_include_directories(brivane_${name} PUBLIC ${view})
  if(layer_DEPENDS)
    target_link_libraries(brivane_${name} PUBLIC ${layer_DEPENDS})
  endif()
  set(BRIVANE_SOURCES ${BRIVANE_SOURCES} ${sources} PARENT_SCOPE)
endfunction()
