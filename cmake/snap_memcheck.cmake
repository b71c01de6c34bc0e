# Runs corvane-snap under valgrind memcheck over its usual jobs and a few bad
# ones: making a clip, writing first and last frames in both views at odd
# sizes, and refusing sizes and files it cannot use. Any memcheck error fails.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(CHECK ${MEMCHECK} --quiet --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite,indirect)

function(snap expected)
  execute_process(COMMAND ${CHECK} ${SNAP} ${ARGN} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(rc EQUAL 3 OR NOT rc EQUAL expected)
    message(FATAL_ERROR "corvane-snap ${ARGN}: exit ${rc}, expected ${expected}\n${err}")
  endif()
endfunction()

snap(0 --make-sample 352x288 3 ${WORK}/clip.yuv)
snap(0 --size 352x288 --frame 0 ${WORK}/clip.yuv ${WORK}/first.bmp)
snap(0 --size 352x288 --frame last --separate ${WORK}/clip.yuv ${WORK}/last.bmp)
snap(0 --make-sample 351x287 2 ${WORK}/odd.yuv --format 422)
snap(0 --size 351x287 --format 422 --frame 1 ${WORK}/odd.yuv ${WORK}/odd.bmp)
snap(0 --size 351x287 --format 422 --separate ${WORK}/odd.yuv ${WORK}/odd-separate.bmp)
snap(0 --make-sample 33x17 2 ${WORK}/small.yuv --format 411)
snap(0 --size 33x17 --format 411 --frame last ${WORK}/small.yuv ${WORK}/small.bmp)
snap(2 --size 0x288 ${WORK}/clip.yuv ${WORK}/bad.bmp)
snap(2 --size 99999x99999 ${WORK}/clip.yuv ${WORK}/bad.bmp)
snap(2 --size 352x288 --frame 7 ${WORK}/clip.yuv ${WORK}/bad.bmp)
snap(2 --size 352x288 ${WORK}/missing.yuv ${WORK}/bad.bmp)
