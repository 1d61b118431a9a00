/* A small C host of the library, on vantry_c.h: keeps a note in a sealed file under a
 * passphrase, reads it back, and shows what a host sees when the passphrase is wrong or the
 * file was changed.
 *
 * Usage: note_c [FOLDER]   (the file goes to FOLDER, by default the current folder) */
#include <stdio.h>
#include <string.h>
#include <vantry/vantry_c.h>

int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : ".";
  const char* note = "Meet at the usual place, 7 pm.";
  const char* passphrase = "correct horse battery staple";
  char name[4096];
  unsigned char* data = NULL;
  size_t length = 0;
  int status;
  FILE* file;

  snprintf(name, sizeof name, "%s/note-c.vty", folder);
  if (vantry_seal(name, note, strlen(note), VANTRY_SEALED_PASSPHRASE, passphrase,
                  strlen(passphrase)) != VANTRY_OK) {
    fprintf(stderr, "seal: %s\n", vantry_last_error());
    return 1;
  }
  if (vantry_unseal(name, VANTRY_SEALED_PASSPHRASE, passphrase, strlen(passphrase), &data,
                    &length) != VANTRY_OK) {
    fprintf(stderr, "unseal: %s\n", vantry_last_error());
    return 1;
  }
  /* A sealed file keeps the exact length: the block is the note, nothing more. */
  printf("unsealed %lu bytes: %.*s\n", (unsigned long)length, (int)length, (const char*)data);
  status = length == strlen(note) && memcmp(data, note, length) == 0 ? 0 : 1;
  vantry_free(data, length);

  if (vantry_unseal(name, VANTRY_SEALED_PASSPHRASE, "wrong", 5, &data, &length) !=
      VANTRY_ERROR_WRONG_KEY) {
    return 1;
  }
  printf("with another passphrase: %s\n", vantry_status_text(VANTRY_ERROR_WRONG_KEY));

  /* One byte changed near the end: nothing of the file is released. */
  file = fopen(name, "r+b");
  if (file == NULL || fseek(file, -3, SEEK_END) != 0 || fputc('!', file) == EOF ||
      fclose(file) != 0) {
    return 1;
  }
  if (vantry_unseal(name, VANTRY_SEALED_PASSPHRASE, passphrase, strlen(passphrase), &data,
                    &length) != VANTRY_ERROR_DAMAGED) {
    return 1;
  }
  printf("once changed: %s\n", vantry_status_text(VANTRY_ERROR_DAMAGED));
  printf("library %s\n", vantry_version());
  return status;
}
