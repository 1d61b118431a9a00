/* A small C host of the library, on vantry_c.h: keeps a note in a protected file, reads it back,
 * and shows what a host sees when the key is wrong.
 *
 * Usage: note_c [FOLDER]   (the file goes to FOLDER, by default the current folder) */
#include <stdio.h>
#include <string.h>
#include <vantry/vantry_c.h>

int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : ".";
  const char* note = "Meet at the usual place, 7 pm.";
  const char* key = "correct horse";
  char name[4096];
  unsigned char* block = NULL;
  size_t length = 0;
  int status;

  snprintf(name, sizeof name, "%s/note-c.vty", folder);
  if (vantry_save(name, note, strlen(note), VANTRY_KEY_TEXT, key, strlen(key)) != VANTRY_OK) {
    fprintf(stderr, "save: %s\n", vantry_last_error());
    return 1;
  }
  if (vantry_load(name, VANTRY_KEY_TEXT, key, strlen(key), &block, &length) != VANTRY_OK) {
    fprintf(stderr, "load: %s\n", vantry_last_error());
    return 1;
  }
  /* The block is the note, the zero bytes padding its last 16-byte block, and 32 zero bytes:
   * a text note ends at its first zero byte. */
  printf("loaded %lu bytes: %s\n", (unsigned long)length, (const char*)block);
  status = strcmp((const char*)block, note) == 0 ? 0 : 1;
  vantry_free(block, length);

  if (vantry_load(name, VANTRY_KEY_TEXT, "wrong", 5, &block, &length) != VANTRY_ERROR_WRONG_KEY) {
    return 1;
  }
  printf("with another key: %s (%s)\n", vantry_status_text(VANTRY_ERROR_WRONG_KEY),
         vantry_last_error());
  printf("library %s\n", vantry_version());
  return status;
}
