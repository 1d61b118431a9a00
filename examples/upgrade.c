/* The older protected format as what it is now, a compatibility path: a host whose notes are
 * in protected files (as programs written for the six entry points leave them) reads each with
 * its old key and keeps it as a sealed file from then on. The protected file is left in place
 * until its sealed copy has been read back in full.
 *
 * Usage: upgrade_c [FOLDER]   (works in FOLDER, by default the current folder) */
#include <stdio.h>
#include <string.h>
#include <vantry/vantry_c.h>

static int fail(const char* what) {
  fprintf(stderr, "%s: %s\n", what, vantry_last_error());
  return 1;
}

int main(int argc, char** argv) {
  const char* folder = argc > 1 ? argv[1] : ".";
  const char* note = "Meet at the usual place, 7 pm.";
  const char* old_key = "correct horse";
  const char* passphrase = "correct horse battery staple";
  char old_name[4096], new_name[4096];
  unsigned char* data = NULL;
  unsigned char* check = NULL;
  size_t length = 0, check_length = 0, text_length;
  const unsigned char* end;
  int same;

  snprintf(old_name, sizeof old_name, "%s/upgrade-c.vty", folder);
  snprintf(new_name, sizeof new_name, "%s/upgrade-c.sealed", folder);
  /* What the older program left behind. */
  if (vantry_save(old_name, note, strlen(note), VANTRY_KEY_TEXT, old_key, strlen(old_key)) !=
      VANTRY_OK) {
    return fail("save");
  }

  if (vantry_load(old_name, VANTRY_KEY_TEXT, old_key, strlen(old_key), &data, &length) !=
      VANTRY_OK) {
    return fail("load");
  }
  /* A protected file does not keep the length that was saved: the block is the data, the
   * zero bytes that padded its last 16-byte block, then 32 zero bytes. A text note ends at its
   * first zero byte; binary data needs its length from the host. */
  end = memchr(data, 0, length);
  text_length = end != NULL ? (size_t)(end - data) : length;
  if (vantry_seal(new_name, data, text_length, VANTRY_SEALED_PASSPHRASE, passphrase,
                  strlen(passphrase)) != VANTRY_OK) {
    vantry_free(data, length);
    return fail("seal");
  }
  if (vantry_unseal(new_name, VANTRY_SEALED_PASSPHRASE, passphrase, strlen(passphrase), &check,
                    &check_length) != VANTRY_OK) {
    vantry_free(data, length);
    return fail("unseal");
  }
  same = check_length == text_length && memcmp(check, data, text_length) == 0;
  vantry_free(check, check_length);
  vantry_free(data, length);
  if (!same) {
    fprintf(stderr, "the sealed copy differs; %s is kept as it is\n", old_name);
    return 1;
  }
  printf("%s sealed as %s (%lu bytes); the protected file may now be removed\n", old_name, new_name,
         (unsigned long)text_length);
  return 0;
}
