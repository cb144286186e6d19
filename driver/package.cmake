# Builds the driver package: cmake -DSEVENZIP=7zz -DX86_DLL=... -DAMD64_DLL=... -DINF_DIR=...
#   [-DREDIST_DIR=...] -DSTAGE=<scratch folder> -DOUTPUT=<archive> -P package.cmake
#
# The archive is one solid block: BCJ2 on the executables' code with LZMA2 for its main stream
# (dictionary 2^23 bytes) and its two side streams (2^19 each). 7zz stores directory entries
# first and sorts items by path; the installer's reader does not depend on the order.
foreach(var SEVENZIP X86_DLL AMD64_DLL INF_DIR STAGE OUTPUT)
  if(NOT ${var})
    message(FATAL_ERROR "package.cmake: ${var} not given")
  endif()
endforeach()

set(redist_files devcon.exe WdfCoInstaller01009.dll WUDFUpdate_01009.dll)

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/x86 ${STAGE}/amd64)
file(COPY_FILE ${X86_DLL} ${STAGE}/x86/zulkor.dll)
file(COPY_FILE ${AMD64_DLL} ${STAGE}/amd64/zulkor.dll)
foreach(arch x86 amd64)
  file(COPY_FILE ${INF_DIR}/${arch}/Quorvallent.inf ${STAGE}/${arch}/Quorvallent.inf)
  if(REDIST_DIR)
    # A named folder must hold every file: a package without them cannot install anything.
    foreach(name ${redist_files})
      if(NOT EXISTS ${REDIST_DIR}/${arch}/${name})
        message(FATAL_ERROR "package.cmake: ${REDIST_DIR}/${arch}/${name} is missing")
      endif()
      file(COPY_FILE ${REDIST_DIR}/${arch}/${name} ${STAGE}/${arch}/${name})
    endforeach()
  endif()
endforeach()

file(REMOVE ${OUTPUT})
execute_process(
  COMMAND ${SEVENZIP} a -t7z -bd -ms=on
          -m0=BCJ2 -m1=LZMA2:d=23 -m2=LZMA2:d=19 -m3=LZMA2:d=19
          -mb0s0:1 -mb0s1:2 -mb0s2:3
          ${OUTPUT} x86 amd64
  WORKING_DIRECTORY ${STAGE}
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "7zz failed (${rc}):\n${out}")
endif()
