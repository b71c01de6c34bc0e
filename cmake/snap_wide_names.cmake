# Runs corvane-snap.exe under Wine with file names outside the ANSI code page,
# passed on its command line: they must arrive whole and name the files.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# "snow" in Japanese and a u with an umlaut: no Western code page holds both.
set(NAME "${WORK}/雪_ü_qcif.yuv")

function(snap expected)
  execute_process(COMMAND ${RUN} ${SNAP} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected)
    message(FATAL_ERROR "corvane-snap ${ARGN}: exit ${rc}, expected ${expected}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

snap(0 --make-sample 176x144 3 ${NAME})
snap(0 --frame all ${NAME} "${WORK}/雪_%d.png")
foreach(n 0 1 2)
  if(NOT EXISTS "${WORK}/雪_${n}.png")
    message(FATAL_ERROR "no picture ${WORK}/雪_${n}.png")
  endif()
endforeach()
snap(0 --info ${NAME})
if(NOT out MATCHES "whole frames: 3")
  message(FATAL_ERROR "--info said:\n${out}")
endif()
snap(2 --frame 5 ${NAME} "${WORK}/雪.bmp")
if(EXISTS "${WORK}/雪.bmp")
  message(FATAL_ERROR "a failed run left ${WORK}/雪.bmp")
endif()
# The program itself refuses INPUT under another case of its name, and the
# video stays as it was.
file(COPY_FILE ${NAME} "${WORK}/v_qcif.png")
snap(2 "${WORK}/v_qcif.png" "${WORK}/V_QCIF.PNG")
file(SHA256 ${NAME} before)
file(SHA256 "${WORK}/v_qcif.png" after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "INPUT was written over through another case of its name")
endif()
