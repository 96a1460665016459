# Names of the program's data files, computed at configure time exactly as the
# running program computes them, so that the build puts each file where the
# program looks for it.

# velmora_numbered_folder(<seed> <out>): the numbered data folder of |seed|
# relative to the program folder, "<first>/<second>": the first two values of the
# C runtime's rand() after srand(seed).
function(velmora_numbered_folder seed out_var)
  set(state ${seed})
  set(parts "")
  foreach(i RANGE 1)
    math(EXPR state "(${state} * 214013 + 2531011) & 0xFFFFFFFF")
    math(EXPR value "(${state} >> 16) & 0x7FFF")
    list(APPEND parts ${value})
  endforeach()
  list(JOIN parts "/" joined)
  set(${out_var} ${joined} PARENT_SCOPE)
endfunction()

# velmora_encoded_name(<name> <out>): the upper-cased name with every character
# written as its decimal character code ("Update" gives 858068658469). Names are
# ASCII here, so no code is negative.
function(velmora_encoded_name name out_var)
  string(TOUPPER "${name}" upper)
  string(LENGTH "${upper}" length)
  set(encoded "")
  if(length GREATER 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
      string(SUBSTRING "${upper}" ${i} 1 char)
      string(HEX "${char}" hex)
      math(EXPR code "0x${hex}")
      string(APPEND encoded ${code})
    endforeach()
  endif()
  set(${out_var} ${encoded} PARENT_SCOPE)
endfunction()
