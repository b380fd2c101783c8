# The luma maps pack: every transition that `wqtrans luma` makes a map of, at the sizes
# editors use, as a 16-bit PGM (MLT's wipe: Kdenlive, Shotcut, melt) and an 8-bit PNG
# (programs that read 8-bit pictures). A run of 1000 ms is cut into 250 moments: exact
# at 8 bits, and a wipe of any length lands each of its frames within 4 ms of the run.
# No PGM at 3840x2160 (16.6 MB each): MLT stretches a 1920x1080 map to the frame.
#   cmake -DTOOL=wqtrans -DOUT=dir -P MakePack.cmake
cmake_minimum_required(VERSION 3.25)
set(sizes 1920x1080 1280x720 1080x1920 3840x2160)
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${TOOL} list --json OUTPUT_VARIABLE json RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TOOL} list --json failed")
endif()
string(JSON count LENGTH ${json} transitions)
math(EXPR last "${count} - 1")
set(made "")
foreach(index RANGE ${last})
  string(JSON id GET ${json} transitions ${index} id)
  string(JSON name GET ${json} transitions ${index} name)
  string(TOLOWER "${name}" file)
  string(REPLACE " " "_" file "${file}")
  foreach(size ${sizes})
    file(MAKE_DIRECTORY ${OUT}/${size})
    if(NOT size STREQUAL "3840x2160")
      execute_process(COMMAND ${TOOL} luma ${id} --size ${size} --duration 1000 --fps 250 -q
                              --out ${OUT}/${size}/${file}.pgm RESULT_VARIABLE result ERROR_VARIABLE error)
      if(result EQUAL 2 AND error MATCHES "not a pure reveal")
        break() # the same at every size
      elseif(NOT result EQUAL 0)
        message(FATAL_ERROR "wqtrans luma ${id} --size ${size}: ${error}")
      endif()
    endif()
    execute_process(COMMAND ${TOOL} luma ${id} --size ${size} --duration 1000 --fps 250 --bits 8 -q
                            --out ${OUT}/${size}/${file}.png RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0 OR NOT error STREQUAL "")
      message(FATAL_ERROR "wqtrans luma ${id} --size ${size} --bits 8: ${result} ${error}")
    endif()
    if(size STREQUAL "1920x1080")
      # Kdenlive's Wipe lists the maps of its lumas/HD folder: links installed as
      # share/kdenlive/lumas/HD beside share/wqtrans/lumas.
      file(MAKE_DIRECTORY ${OUT}/kdenlive/HD)
      file(CREATE_LINK ../../../wqtrans/lumas/${size}/${file}.pgm ${OUT}/kdenlive/HD/wqtrans_${file}.pgm SYMBOLIC)
      list(APPEND made ${name})
    endif()
  endforeach()
endforeach()
list(LENGTH made made_count)
if(made_count EQUAL 0)
  message(FATAL_ERROR "no transition had a luma map")
endif()
string(REPLACE ";" ", " made "${made}")
file(WRITE ${OUT}/README.txt "Luma maps of the Standard transitions (wqtrans): ${made}.
Each map is a whole run of 1000 ms cut into 250 moments: a pixel's level is the moment
it turns new. The .pgm files (16-bit) are for MLT's wipe (Kdenlive, Shotcut's Custom,
melt); the .png files (8-bit) for programs that read 8-bit pictures. Make maps of other
sizes, lengths and settings with `wqtrans luma`.
")
