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
# PSNR: files of different lengths, odd sizes read as another format, and the
# stats file, standard output and --fail-below.
snap(0 --make-sample 352x288 5 ${WORK}/longer.yuv)
snap(0 --compare --size 352x288 ${WORK}/clip.yuv ${WORK}/longer.yuv --stats ${WORK}/stats.txt)
snap(0 --make-sample 351x287 3 ${WORK}/odd444.yuv --format 444)
snap(1 --compare --size 351x287 --format 422 ${WORK}/odd.yuv ${WORK}/odd444.yuv --stats - --fail-below 60)
snap(2 --compare --size 352x288 ${WORK}/clip.yuv ${WORK}/missing.yuv)
snap(2 --compare --size 352x288 ${WORK}/clip.yuv ${WORK}/clip.yuv --stats ${WORK}/no/such/stats.txt)
