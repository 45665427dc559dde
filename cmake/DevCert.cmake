# cmake -DDIR=<folder> -DTOOL=<velarelay-cert> -P DevCert.cmake
# The development authority and the relay's pair in DIR, made by the tool the
# package uses. A pair already there is kept, except the self-signed one that
# build folders made before there was an authority: it is the build's own,
# and the tests now trust the authority.
if(EXISTS ${DIR}/velarelay.crt AND NOT EXISTS ${DIR}/velarelay-ca.crt)
  execute_process(COMMAND openssl x509 -in ${DIR}/velarelay.crt -noout -subject -issuer -nameopt RFC2253
                  OUTPUT_VARIABLE names COMMAND_ERROR_IS_FATAL ANY)
  if(names MATCHES "^subject=([^\n]*)\nissuer=([^\n]*)\n$" AND CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2)
    message(STATUS "Replacing the self-signed development pair in ${DIR}")
    file(REMOVE ${DIR}/velarelay.crt ${DIR}/velarelay.key)
  endif()
endif()
execute_process(COMMAND sh ${TOOL} create ${DIR} COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS ${DIR}/velarelay-ca.crt)
  message(FATAL_ERROR "${DIR} holds a relay pair of its own and no velarelay-ca.crt, which the tests trust: "
                      "move the pair away")
endif()
