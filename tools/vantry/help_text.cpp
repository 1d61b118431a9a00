#include "help_text.h"

namespace vantry::tool {
namespace {

const char kKeyTextOptions[] =
    "Key (one of these; without any, the machine key of 'vantry machine-key'):\n"
    "  --key-file PATH     the key text is the content of PATH ('-': standard input),\n"
    "                      less one trailing line end\n"
    "  --ask-key           ask for the key text on the terminal, without echo\n"
    "  --key-env NAME      the key text is the value of the environment variable NAME\n";

const char kKeyHexOption[] =
    "  --key-hex-file PATH raw key data in hexadecimal in PATH ('-': standard input),\n"
    "                      repeated to fill the key size when shorter\n";

const char kSealedKeyOptions[] =
    "Key (one of these; without any, this account's key: on Windows the data protection\n"
    "API's key of the user; elsewhere a secret created on first use in $XDG_DATA_HOME/vantry\n"
    "or ~/.local/share/vantry, readable by its owner alone):\n"
    "  --key-file PATH     a passphrase: the content of PATH ('-': standard input), less one\n"
    "                      trailing line end\n"
    "  --ask-key           ask for the passphrase on the terminal, without echo\n"
    "  --key-env NAME      the passphrase is the value of the environment variable NAME\n"
    "  --key-hex-file PATH a raw 32-byte key, 64 hexadecimal digits in PATH\n"
    "  --machine-secret    this machine's key: on Windows the data protection API's key of\n"
    "                      the machine; elsewhere a secret in /var/lib/vantry, created by root\n"
    "A passphrase goes through PBKDF2-HMAC-SHA256 (600,000 iterations, a random salt) as its\n"
    "SHA-256 digest: every byte of it counts. (Files of version 1, which earlier versions\n"
    "wrote, took its bytes as given: zero bytes at its end do not count there, and a\n"
    "passphrase longer than 64 bytes counts as its SHA-256 digest.)\n";

const char kSealMoreKeys[] =
    "More keys (any one of them opens the file; the account's key is then no default):\n"
    "  --recipient R       to the recipient R ('vantry1...', from 'vantry keygen');\n"
    "                      repeatable\n"
    "  --recipients-file PATH  to each recipient PATH lists, one a line; repeatable\n"
    "  --account-secret    the account's key as one more key\n"
    "  --tpm               a slot for this machine's TPM (VANTRY_TPM_TCTI, else /dev/tpmrm0)\n"
    "  --tpm-pcrs LIST     --tpm bound to these SHA-256 PCRs (7: the secure-boot state)\n"
    "With the account's or the machine's secret, a slot is added for each recovery recipient\n"
    "of /etc/vantry/recovery-recipients (root's) and ~/.config/vantry/recovery-recipients\n"
    "($XDG_CONFIG_HOME/vantry), as standard error says; a list others can change stops the\n"
    "seal (not on Windows).\n";

const char kUnsealMoreKeys[] =
    "More keys (the file opens with any one of its slots):\n"
    "  --identity PATH     with the identities of the file PATH; repeatable\n"
    "  --tpm               with this machine's TPM (VANTRY_TPM_TCTI, else /dev/tpmrm0); without\n"
    "                      a key option a file's TPM slot is tried by itself\n";

const char kArmorOption[] =
    "  --armor             write OUTPUT as text, for mail, a paste or a terminal: base64\n"
    "                      in lines of 64 between a BEGIN and an END line (unseal reads it\n"
    "                      as it reads a binary one)\n";

const char kKeyNotes[] =
    "Only the first 16 characters of a key text take effect. An empty key text is refused.\n";

const char kCipherKeyNotes[] =
    "Only the first key-size characters of a key text take effect. An empty key text is\n"
    "refused.\n";

const char kCipherOptions[] =
    "Cipher parameters (defaults: those of save and load):\n"
    "  --block-size 16|24|32   block size in bytes (16 is AES)         [16]\n"
    "  --key-size 16|24|32     key length in bytes                     [16]\n"
    "  --mode ecb|cbc|cfb      chaining mode                           [ecb]\n"
    "  --padding zero|space|count  fill of the last block              [zero]\n";

const char kIvOption[] =
    "  --iv HEX                initial chain block, block-size bytes in hexadecimal\n"
    "                          [7E1BC45209A83FD6612C95E04B78D317, zero bytes after it\n"
    "                          for larger blocks]\n";

const char kOutputNotes[] =
    "  --force             replace OUTPUT if it exists\n"
    "  --in-place          rewrite an existing OUTPUT in place when its folder takes no\n"
    "                      new file (refused otherwise): a failure part way then loses\n"
    "                      its earlier content\n"
    "  --progress          show progress on standard error (by default it shows on a\n"
    "                      terminal once a run takes more than two seconds)\n"
    "  --quiet             never show progress\n"
    "\n"
    "INPUT and OUTPUT may be '-' for standard input and output (a terminal too: OUTPUT\n"
    "'-' is always asked for). A named OUTPUT appears, or replaces an earlier one, only when\n"
    "all of it is written: a failure or an interruption leaves an earlier OUTPUT as it was.\n"
    "A FIFO or character device as INPUT is read as standard input is, as it comes.\n";

}  // namespace

std::string ToolHelp() {
  return "Usage: vantry COMMAND [OPTIONS] ARGUMENTS\n"
         "       vantry --help | --version\n"
         "\n"
         "Keeps data encrypted on disk. A sealed file (seal, unseal) is authenticated and keeps\n"
         "the exact length: new data should be sealed. A protected file (save, load, encrypt,\n"
         "decrypt) holds a 32-byte key check digest and then the cipher text of the data.\n"
         "\n"
         "Commands:\n"
         "  save INPUT OUTPUT     protect INPUT as the file OUTPUT, as the library's save does\n"
         "  load INPUT OUTPUT     read the protected file INPUT back, as the library's load does\n"
         "  encrypt INPUT OUTPUT  protect INPUT with chosen cipher parameters\n"
         "  decrypt INPUT OUTPUT  read a file protected with chosen cipher parameters back\n"
         "  verify FILE...        tell whether each FILE was protected with the key, decrypting\n"
         "                        nothing; a sealed FILE is authenticated whole\n"
         "  seal INPUT OUTPUT     seal INPUT as the authenticated file OUTPUT (sealed files keep\n"
         "                        the exact length and detect any change; prefer them)\n"
         "  unseal INPUT OUTPUT   read the sealed file INPUT back\n"
         "  rekey INPUT OUTPUT    the protected file INPUT under a new key, or sealed (--seal),\n"
         "                        with no plain text on disk; a sealed INPUT with keys added\n"
         "                        or removed, its data copied unchanged\n"
         "  machine-key           print the machine key, the default key of the protected-file\n"
         "                        commands (seal and unseal default to this account's key)\n"
         "  keygen OUTPUT         make an identity for sealed files and print its recipient\n"
         "  slots FILE            list which keys open the sealed FILE\n"
         "  secret show|export FILE|import FILE\n"
         "                        show, back up or restore this account's secret, the default\n"
         "                        key of seal and unseal\n"
         "\n"
         "Keys never appear on the command line: they come from the account, the machine, a\n"
         "file, the terminal or an environment variable. 'vantry COMMAND --help' describes a\n"
         "command.\n"
         "\n"
         "Exit status: 0 success, 1 failure (the reason on standard error), 2 usage error;\n"
         "verify: 0 the key matches, 1 it does not, 2 the check could not be made. Stopped by\n"
         "SIGINT, SIGTERM, SIGHUP or SIGQUIT, the tool cleans up and ends with 128 + the\n"
         "signal number (130 for Ctrl-C).\n";
}

std::string CommandHelp(Command command) {
  switch (command) {
    case Command::kSave:
      return std::string(
                 "Usage: vantry save [OPTIONS] INPUT OUTPUT\n"
                 "\n"
                 "Protects the bytes of INPUT as the file OUTPUT: AES-128 keyed with the first 16\n"
                 "characters of the key text, every block on its own, zero bytes filling the\n"
                 "last block. The same file a host gets from SaveVantryWithKey2.\n"
                 "\n") +
             kKeyTextOptions + kKeyNotes + "\nOutput:\n" + kOutputNotes;
    case Command::kLoad:
      return std::string(
                 "Usage: vantry load [OPTIONS] INPUT OUTPUT\n"
                 "\n"
                 "Reads the protected file INPUT back and writes what the library's load returns:\n"
                 "the data, the zero bytes that filled its last block, and 32 zero bytes.\n"
                 "\n") +
             kKeyTextOptions + kKeyNotes + "\nOutput:\n" +
             "  --strip             for text only: drop every zero byte at the end of what was\n"
             "                      loaded, the 32 bytes and the fill, but also zero bytes that\n"
             "                      ended the data itself (the file does not record the data's\n"
             "                      length): tar and gzip files and most binaries lose them\n" +
             kOutputNotes;
    case Command::kEncrypt:
    case Command::kDecrypt: {
      const bool encrypt = command == Command::kEncrypt;
      return std::string(encrypt ? "Usage: vantry encrypt [OPTIONS] INPUT OUTPUT\n"
                                   "\n"
                                   "Protects the file INPUT as OUTPUT with the cipher parameters\n"
                                   "given; with the defaults, the same file as 'vantry save'.\n"
                                 : "Usage: vantry decrypt [OPTIONS] INPUT OUTPUT\n"
                                   "\n"
                                   "Reads the protected file INPUT back into OUTPUT with the\n"
                                   "cipher parameters given. OUTPUT keeps the fill of the last\n"
                                   "block; with --in-memory it also ends in 32 zero bytes, as\n"
                                   "the library's load does.\n") +
             "\n" + kKeyTextOptions + kKeyHexOption + kCipherKeyNotes + "\n" + kCipherOptions +
             kIvOption + "\nOutput:\n" +
             "  --in-memory         read the whole INPUT into memory (at most 2147483647 bytes)\n"
             "                      before writing OUTPUT, instead of streaming it\n" +
             kOutputNotes;
    }
    case Command::kVerify:
      return std::string(
                 "Usage: vantry verify [OPTIONS] FILE...\n"
                 "\n"
                 "Compares the key check digest at the start of each protected FILE ('-': "
                 "standard\n"
                 "input) with the digest of the key and cipher parameters, decrypting nothing.\n"
                 "A sealed FILE is authenticated whole instead, with the key options of unseal.\n"
                 "Each FILE that fails is named on standard error. Exit status 0 when all match,\n"
                 "1 when any does not (and every FILE could be checked), 2 when any could not be\n"
                 "checked (FILE or the key cannot be read).\n"
                 "The digest covers the key bytes up to the first zero byte and, only when there\n"
                 "is none, the parameters: with a key text shorter than the key size, files made\n"
                 "with other parameters match too.\n"
                 "\n") +
             kKeyTextOptions + kKeyHexOption + kCipherKeyNotes + "\n" + kCipherOptions;
    case Command::kSeal:
    case Command::kUnseal:
      return std::string(
                 command == Command::kSeal
                     ? "Usage: vantry seal [OPTIONS] INPUT OUTPUT\n"
                       "\n"
                       "Seals INPUT as OUTPUT: AES-256-GCM in 64 KiB segments under a\n"
                       "key derived from the key given, with a header that names the\n"
                       "kind of key (docs/sealed-format.md). Any change, reordering or\n"
                       "cut of the file is detected on unseal; the exact length is kept.\n"
                     : "Usage: vantry unseal [OPTIONS] INPUT OUTPUT\n"
                       "\n"
                       "Authenticates the sealed file INPUT and writes its data to\n"
                       "OUTPUT. A named OUTPUT appears only once every segment has\n"
                       "verified. To standard output each segment is written once it\n"
                       "has verified: after a failure (exit status 1) what was written\n"
                       "is a verified beginning of the data, not all of it. An armored\n"
                       "INPUT (text) is read as a binary one is. Without a\n"
                       "key option, a file none of the default keys opens has its\n"
                       "passphrase asked for on the terminal, when it has a slot for one.\n") +
             kSealedKeyOptions + (command == Command::kSeal ? kSealMoreKeys : kUnsealMoreKeys) +
             "\nOutput:\n" + (command == Command::kSeal ? kArmorOption : "") + kOutputNotes;
    case Command::kRekey:
      return std::string(
                 "Usage: vantry rekey [OPTIONS] INPUT OUTPUT\n"
                 "\n"
                 "Reads the protected file INPUT (as load does) and writes it as OUTPUT under a\n"
                 "new key, in one stream: the plain text is never on disk, and OUTPUT has the\n"
                 "length of INPUT. With --seal OUTPUT is a sealed file holding what 'vantry\n"
                 "decrypt' gives: the data and the zero bytes that filled its last block.\n"
                 "\n") +
             kKeyTextOptions +
             "\nNew key (one of these; without any, the machine key, or with\n"
             "--seal the account's secret):\n"
             "  --new-key-file PATH, --new-ask-key, --new-key-env NAME\n"
             "                      as the key options above\n"
             "  --new-key-hex-file PATH  with --seal: a raw 32-byte key in hexadecimal\n"
             "  --seal              OUTPUT is a sealed file\n"
             "  --armor             with --seal: OUTPUT is armored text, as seal writes it\n"
             "  --machine-secret    with --seal: the machine's secret instead of the account's\n"
             "\nA sealed INPUT keeps its data as it is; only its header changes. It opens with\n"
             "the key options of unseal (--identity too); the new key, each --recipient,\n"
             "--recipients-file, --account-secret and --tpm (--tpm-pcrs LIST) add a slot, and\n"
             "  --remove-slot N     removes slot N ('vantry slots' numbers them); repeatable\n"
             "An armored sealed INPUT stays armored.\n"
             "\nOutput:\n" +
             kOutputNotes;
    case Command::kKeygen:
      return "Usage: vantry keygen OUTPUT\n"
             "       vantry keygen --recipient IDENTITY\n"
             "\n"
             "Writes a new identity (an X25519 private key) to the file OUTPUT, readable by its\n"
             "owner alone and never over an existing file, and prints its recipient, the public\n"
             "key others seal to ('vantry seal --recipient'). With --recipient, prints the\n"
             "recipient of the identity file IDENTITY again. Keep the identity: the files\n"
             "sealed to its recipient open with it alone (or another of their slots).\n";
    case Command::kSlots:
      return "Usage: vantry slots FILE\n"
             "\n"
             "Lists the slots of the sealed FILE, the keys any one of which opens it: the kind\n"
             "of key and what identifies it (a secret's identifier, a recipient's tag) or what\n"
             "it costs (PBKDF2 iterations). Needs no key and shows no secret.\n";
    case Command::kSecretShow:
    case Command::kSecretExport:
    case Command::kSecretImport:
      return "Usage: vantry secret show [--machine-secret]\n"
             "       vantry secret export [OPTIONS] FILE\n"
             "       vantry secret import [OPTIONS] [--replace] FILE\n"
             "\n"
             "This account's secret, the default key of seal and unseal, is created on first use;\n"
             "the files sealed with it open only with it (or another of their slots). show prints\n"
             "where it is, its identifier and when it was created. export writes it, with its\n"
             "creation time, to the new file FILE (readable by its owner alone), sealed with a\n"
             "passphrase asked twice on the terminal or given by a key option. import restores\n"
             "it from such a FILE ('-': standard input) where there is none (or this one); a\n"
             "different secret is replaced only with --replace, and is then kept beside the new\n"
             "one (account-secret-IDENTIFIER), so that the files sealed with either still open.\n"
             "\n"
             "Options:\n"
             "  --machine-secret    the machine's secret instead (root creates and imports it)\n"
             "  --replace           import over a different secret, keeping the old one beside it\n"
             "Key of the export (without any, a passphrase asked on the terminal):\n"
             "  --key-file PATH     a passphrase: the content of PATH ('-': standard input), less\n"
             "                      one trailing line end\n"
             "  --ask-key           ask for the passphrase on the terminal, without echo\n"
             "  --key-env NAME      the passphrase is the value of the environment variable NAME\n"
             "  --key-hex-file PATH a raw 32-byte key, 64 hexadecimal digits in PATH\n";
    case Command::kMachineKey:
      return "Usage: vantry machine-key\n"
             "\n"
             "Prints the machine key: the serial number of the system volume as XXXX-XXXX (on\n"
             "POSIX systems the file system id of '/', folded to 32 bits). It is empty when the\n"
             "volume cannot be queried.\n";
  }
  return ToolHelp();
}

}  // namespace vantry::tool
