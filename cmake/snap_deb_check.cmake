# Checks corvane-snap's Debian package: DEB, or one packed here with CPack
# from the build at BUILD. Its files (the program, the man page, the bash
# completion, the copyright and changelog), a dependency on the C library
# found by dpkg-shlibdeps, and, unpacked with dpkg-deb -x, a program that
# runs and says VERSION, a page with the version filled in and a completion
# that completes.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit ${rc}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect text pattern what)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what}: expected ${pattern} in\n${text}")
  endif()
endfunction()

if(NOT DEB)
  run(cpack --config ${BUILD}/CPackConfig.cmake -G DEB -B ${WORK}/pack)
  file(GLOB DEB ${WORK}/pack/*.deb)
endif()
get_filename_component(name ${DEB} NAME)
expect("${name}" "^corvane-snap_${VERSION}_amd64\\.deb$" "the package's name")

run(dpkg-deb -c ${DEB})
foreach(path usr/bin/corvane-snap usr/share/man/man1/corvane-snap.1.gz
        usr/share/bash-completion/completions/corvane-snap
        usr/share/doc/corvane-snap/copyright usr/share/doc/corvane-snap/changelog.gz)
  expect("${out}" " \\./${path}\n" "the package's files")
endforeach()
run(dpkg-deb -f ${DEB} Depends)
expect("${out}" "libc6 \\(>= " "the package's dependencies")

set(root ${WORK}/root)
run(dpkg-deb -x ${DEB} ${root})
set(snap ${root}/usr/bin/corvane-snap)
run(${snap} --version)
expect("${out}" "^corvane-snap ${VERSION}\n$" "--version")
run(${snap} --make-sample 64x48 2 ${WORK}/clip_64x48.yuv)
run(${snap} --info ${WORK}/clip_64x48.yuv)
expect("${out}" "whole frames: 2\n" "--info")
run(${snap} --frame all ${WORK}/clip_64x48.yuv ${WORK}/frame_%d.png)

run(gzip -dc ${root}/usr/share/man/man1/corvane-snap.1.gz)
expect("${out}" "\n\\.TH CORVANE-SNAP 1 [^\n]* \"Corvane ${VERSION}\"" "the man page's title line")

# The words typed ("," between them, the last one being completed), then
# what the completion must offer.
foreach(case "--fo=--format" "--format,=420 422 411 444 yuv420p [^\n]* p010le" "--format,nv=nv12 nv21" "--metric,=psnr ssim exact psnr,ssim,exact" "--frame,l=last" "--info,--ra=--rate")
  string(FIND "${case}" "=" at)
  string(SUBSTRING "${case}" 0 ${at} words)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${case}" ${at} -1 wanted)
  string(REPLACE "," "' '" words "${words}")
  # (No semicolons in the script: run() takes its arguments as a list.)
  run(bash --norc --noprofile -c
      "source '${root}/usr/share/bash-completion/completions/corvane-snap'
       COMP_WORDS=(corvane-snap '${words}')
       COMP_CWORD=$((\${#COMP_WORDS[@]} - 1))
       _corvane_snap
       echo \"\${COMPREPLY[*]}\"")
  expect("${out}" "^${wanted}\n$" "completing '${words}'")
endforeach()
