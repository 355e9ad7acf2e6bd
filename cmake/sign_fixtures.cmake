# Makes the signed fixtures of the Windows tests with the host's openssl and
# osslsigncode: a throwaway root, two code-signing leaves under it (one whose
# subject names Microsoft Corporation), a signed copy of the fixture module by
# each, and fixtures.txt with the names and SHA-1 thumbprints the tests expect.
# Inputs: OPENSSL, OSSLSIGNCODE, MODULE (the unsigned DLL), OUT_DIR.
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY "${OUT_DIR}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${rc}): ${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(thumbprint pem var)
  run(${OPENSSL} x509 -in ${pem} -noout -fingerprint -sha1)
  string(REGEX REPLACE "^.*=" "" value "${last_output}")
  string(REPLACE ":" "" value "${value}")
  string(STRIP "${value}" value)
  string(TOLOWER "${value}" value)
  set(${var} "${value}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${OUT_DIR}")
set(root_cn "Anticheat Fixture Root")
set(leaf_cn "Anticheat Fixture Publisher")
set(ms_cn "Microsoft Corporation Fixture Signing")

file(WRITE "${OUT_DIR}/root.cnf" "[v3]\nbasicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\nsubjectKeyIdentifier=hash\n")
file(WRITE "${OUT_DIR}/leaf.cnf" "[v3]\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\nauthorityKeyIdentifier=keyid\n")

run(${OPENSSL} req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout root.key -out root.pem
    -subj "/CN=${root_cn}" -config root.cnf -extensions v3)
run(${OPENSSL} x509 -in root.pem -outform DER -out root.der)

foreach(leaf IN ITEMS leaf ms)
  if(leaf STREQUAL "ms")
    set(cn "${ms_cn}")
    set(serial 0x1002)
  else()
    set(cn "${leaf_cn}")
    set(serial 0x1001)
  endif()
  run(${OPENSSL} req -newkey rsa:2048 -nodes -sha256 -keyout ${leaf}.key -out ${leaf}.csr -subj "/CN=${cn}")
  run(${OPENSSL} x509 -req -sha256 -days 3650 -in ${leaf}.csr -CA root.pem -CAkey root.key -set_serial ${serial}
      -out ${leaf}.pem -extfile leaf.cnf -extensions v3)
  file(READ "${OUT_DIR}/${leaf}.pem" leaf_pem)
  file(READ "${OUT_DIR}/root.pem" root_pem)
  file(WRITE "${OUT_DIR}/${leaf}_chain.pem" "${leaf_pem}${root_pem}")
  file(REMOVE "${OUT_DIR}/fixture_${leaf}_signed.dll")
  run(${OSSLSIGNCODE} sign -certs ${leaf}_chain.pem -key ${leaf}.key -h sha256 -n "Fixture module"
      -in "${MODULE}" -out fixture_${leaf}_signed.dll)
endforeach()

thumbprint(leaf.pem leaf_sha1)
thumbprint(ms.pem ms_sha1)
file(WRITE "${OUT_DIR}/fixtures.txt"
  "root_subject=${root_cn}\n"
  "publisher=${leaf_cn}\n"
  "thumbprint=${leaf_sha1}\n"
  "ms_publisher=${ms_cn}\n"
  "ms_thumbprint=${ms_sha1}\n")
