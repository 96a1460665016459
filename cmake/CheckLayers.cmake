# Checks that every source file includes only headers of its own layer or of the
# layers below it, never a header of another platform backend, and that Qt and the
# operating system's own headers stay where they belong; and that no layer
# defines a member function of a class that a lower layer declares (a backend
# implements the classes of platform/, its interface).
#
#   cmake -DSOURCE_DIR=<tree> -P cmake/CheckLayers.cmake
#
# Exits with an error listing every offending include.

if(NOT SOURCE_DIR)
  get_filename_component(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
endif()

# The layers, lowest first, and what each may include. A folder not listed here
# (tests, benchmarks, fuzz targets) may include anything but a second backend.
# formats/ (file formats from bytes) sits between base/ and platform/: it includes
# no platform header, and no system header either (the check below).
set(layer_base base)
set(layer_formats base formats)
set(layer_platform base formats platform)
set(layer_platform/posix base formats platform platform/posix)
set(layer_platform/win32 base formats platform platform/win32)
set(layer_entries base formats platform entries)
set(layer_database base formats platform entries database)
set(layer_changes base formats platform entries database changes)
set(layer_app base formats platform entries database changes app)
set(layer_ui base formats platform entries database changes app ui res)
set(layer_tools base formats platform entries database changes app tools)
set(layers base formats platform/posix platform/win32 platform entries database changes app ui tools)

# Headers of the system that only a backend (and the tests that drive a real
# system) may include.
set(system_header_regex "^<(windows\\.h|winreg\\.h|shlobj\\.h|objbase\\.h|psapi\\.h|tlhelp32\\.h|unistd\\.h|fcntl\\.h|dirent\\.h|pwd\\.h|signal\\.h|spawn\\.h|sys/[a-z]+\\.h)>")
# Qt headers: the window program only.
set(qt_header_regex "^<Q[A-Za-z]+(/[A-Za-z]+)?>")
# The standard library's files and folders: formats/ reads and writes bytes only.
set(file_header_regex "^<(filesystem|fstream)>")

# The source folders of the tree; build trees and hidden folders are left out.
file(GLOB top_folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(files "")
foreach(folder IN LISTS top_folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${folder} OR folder MATCHES "^(build|\\.)")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.hpp ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.cc ${SOURCE_DIR}/${folder}/*.c)
  list(APPEND files ${found})
endforeach()

set(problems "")
foreach(file IN LISTS files)
  # The layer of the file: the longest listed folder it lies in.
  set(layer "")
  foreach(candidate IN LISTS layers)
    if(file MATCHES "^${candidate}/")
      set(layer ${candidate})
      break()
    endif()
  endforeach()
  # The backend the file belongs to, if any (its own folder or a test folder of it).
  set(own_backend "")
  if(file MATCHES "(^|/)platform/(posix|win32)/")
    set(own_backend ${CMAKE_MATCH_2})
  endif()

  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" target "${line}")
    string(REGEX REPLACE "[ \t]*//.*$" "" target "${target}")
    string(STRIP "${target}" target)
    if(target MATCHES "^\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      # A second backend is never included, from anywhere.
      if(header MATCHES "^platform/(posix|win32)/" AND NOT own_backend STREQUAL ""
         AND NOT CMAKE_MATCH_1 STREQUAL own_backend)
        list(APPEND problems "${file}: includes ${header} of the other backend")
        continue()
      endif()
      if(layer STREQUAL "")
        continue()
      endif()
      set(allowed_here FALSE)
      if(NOT header MATCHES "/")
        set(allowed_here TRUE)  # a header beside the file
      else()
        foreach(allowed IN LISTS layer_${layer})
          if(header MATCHES "^platform/(posix|win32)/")
            set(header_layer platform/${CMAKE_MATCH_1})
          else()
            string(REGEX REPLACE "/.*" "" header_layer "${header}")
          endif()
          if(header_layer STREQUAL allowed)
            set(allowed_here TRUE)
            break()
          endif()
        endforeach()
      endif()
      if(NOT allowed_here)
        list(APPEND problems "${file}: layer ${layer} includes ${header}")
      endif()
    elseif(NOT layer STREQUAL "")
      if(target MATCHES "${qt_header_regex}" AND NOT layer STREQUAL "ui")
        list(APPEND problems "${file}: Qt header ${target} outside ui/")
      elseif(target MATCHES "${system_header_regex}" AND NOT layer MATCHES "^platform/(posix|win32)$")
        list(APPEND problems "${file}: system header ${target} outside a platform backend")
      elseif(target MATCHES "${file_header_regex}" AND layer STREQUAL "formats")
        list(APPEND problems "${file}: formats/ works on bytes, not files: ${target}")
      endif()
    endif()
  endforeach()
endforeach()

# Member functions: a class belongs to the layer whose header declares it; its
# members are defined in that layer (or, for platform/, in a backend).
set(layer_rank_base 0)
set(layer_rank_formats 1)
set(layer_rank_platform 2)
set(layer_rank_platform/posix 3)
set(layer_rank_platform/win32 3)
set(layer_rank_entries 4)
set(layer_rank_database 5)
set(layer_rank_changes 6)
set(layer_rank_app 7)
set(layer_rank_ui 8)
set(layer_rank_tools 8)
set(name_regex "[A-Za-z_][A-Za-z0-9_]*")
set(declared_classes "")
foreach(file IN LISTS files)
  if(NOT file MATCHES "\\.(h|hpp)$")
    continue()
  endif()
  set(layer "")
  foreach(candidate IN LISTS layers)
    if(file MATCHES "^${candidate}/")
      set(layer ${candidate})
      break()
    endif()
  endforeach()
  if(layer STREQUAL "")
    continue()
  endif()
  # Definitions only, not forward declarations ("class Foo;").
  file(STRINGS ${SOURCE_DIR}/${file} declarations REGEX "^[ \t]*(class|struct)[ \t]+${name_regex}[^;]*$")
  foreach(line IN LISTS declarations)
    string(REGEX REPLACE "^[ \t]*(class|struct)[ \t]+(${name_regex}).*$" "\\2" name "${line}")
    list(APPEND class_layers_${name} ${layer})
    list(APPEND declared_classes ${name})
  endforeach()
endforeach()

foreach(file IN LISTS files)
  if(NOT file MATCHES "\\.(cpp|cc|c)$")
    continue()
  endif()
  set(layer "")
  foreach(candidate IN LISTS layers)
    if(file MATCHES "^${candidate}/")
      set(layer ${candidate})
      break()
    endif()
  endforeach()
  if(layer STREQUAL "")
    continue()
  endif()
  # A member defined at namespace scope starts in the first column.
  file(STRINGS ${SOURCE_DIR}/${file} definitions REGEX "^[A-Za-z_].*${name_regex}::~?${name_regex}\\(")
  foreach(line IN LISTS definitions)
    if(line MATCHES "^(namespace|using|return|static_assert)[ \t]")
      continue()
    endif()
    string(REGEX MATCH "(${name_regex})::~?${name_regex}\\(" qualified "${line}")
    set(owner ${CMAKE_MATCH_1})
    if(NOT DEFINED class_layers_${owner})
      continue()  # a namespace, or a class of no layer
    endif()
    set(own FALSE)
    set(lowest "")
    foreach(declared IN LISTS class_layers_${owner})
      if(declared STREQUAL layer OR (declared STREQUAL "platform" AND layer MATCHES "^platform/"))
        set(own TRUE)
      elseif(layer_rank_${declared} LESS layer_rank_${layer})
        set(lowest ${declared})
      endif()
    endforeach()
    if(NOT own AND NOT lowest STREQUAL "")
      list(APPEND problems "${file}: layer ${layer} defines ${owner}::..., a class of ${lowest}")
    endif()
  endforeach()
endforeach()

if(problems)
  list(LENGTH problems count)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "${count} include(s) break the layering:\n  ${text}")
endif()
message(STATUS "Layering holds: ${SOURCE_DIR}")
