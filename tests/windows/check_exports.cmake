# Checks the export table of vantry.dll, as objdump -p prints it:
#   cmake -D OBJDUMP=<objdump> -D DLL=<vantry.dll> -P check_exports.cmake
#
# Hosts find the entry points by name, so the plain C names must be exactly these, with no
# decoration ("_SaveVantry", "SaveVantry@16"). Everything else the DLL exports must be the C++
# surface of the public headers, mangled; no internal name may leak out. (What it imports,
# check_imports.cmake checks.)
set(expected_c_names
  FreeVantryBuffer LoadVantry LoadVantryWithKey LoadVantryWithKey2
  SaveVantry SaveVantryWithKey SaveVantryWithKey2
  vantry_free vantry_last_error vantry_last_system_error vantry_load vantry_save vantry_seal
  vantry_seal_buffer vantry_seal_keys vantry_sealed_slots vantry_status_text vantry_unseal
  vantry_unseal_buffer vantry_unseal_keys vantry_version vantry_version_number)
# Mangled names of namespace vantry whose first component is one of these (with its length):
# the classes and functions declared in include/vantry/.
set(public_components 12CBlockCipher 15CRijndaelCipher 4CSHA 9FileError 13GetMachineKey
    10ByteReader 10ByteWriter 14OpenFileReader 23OpenStandardInputReader
    24OpenStandardOutputWriter 16CreateFileWriter 19CreateNewFileWriter 13EncryptStream 13DecryptStream
    11CipherError 9KeyCipher 16OpenMemoryReader 9SealedKey 11SealedError 13SealingWriter
    10SealStream 12UnsealStream 11LooksSealed 17SealedKeyKindName 15ListSealedSlots
    17ChangeSealedSlots 17RecipientFromText 16IdentityFromText 19RecipientOfIdentity 11NewIdentity
    19EnsureSealingSecret 21DescribeSealingSecret 19ExportSealingSecret 19ImportSealingSecret
    14ArmoringWriter
    12KeyFileLines 18RecoveryRecipients 22WithRecoveryRecipients)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
set(c_names)
set(unexpected)
string(JOIN "|" public_alternatives ${public_components})
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
  if(name MATCHES "^_Z")
    if(NOT name MATCHES "^_Z(N|NK|TI|TS|TV)N?6vantry(${public_alternatives})")
      list(APPEND unexpected "${name}")
    endif()
  else()
    list(APPEND c_names "${name}")
  endif()
endforeach()

list(SORT c_names)
if(NOT c_names STREQUAL expected_c_names)
  message(FATAL_ERROR "plain exports of ${DLL}:\n  ${c_names}\nexpected exactly:\n  ${expected_c_names}")
endif()
if(unexpected)
  string(JOIN "\n  " unexpected_lines ${unexpected})
  message(FATAL_ERROR "exports outside the public headers:\n  ${unexpected_lines}")
endif()

list(LENGTH entries count)
message(STATUS "${DLL}: ${count} exports; the plain ones: ${c_names}")
