/* Replays a conversation through the installed library, as a C99 program: opens the bot in
 * the folder given (seeded, with an entry limit when given), answers each line of standard
 * input on standard output, then closes it (which saves). Exit status: 0, or 1 with the
 * failing call's status and message on standard error. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tsugihagi.h>

static int failed(tsugihagi_bot* bot, const char* what, tsugihagi_status status) {
  fprintf(stderr, "%s: status %d: %s\n", what, (int)status, tsugihagi_last_error(bot));
  tsugihagi_close(bot);
  return 1;
}

int main(int argc, char** argv) {
  tsugihagi_options options;
  tsugihagi_bot* bot = NULL;
  char line[65536];
  tsugihagi_status status;
  if (argc < 3) {
    fprintf(stderr, "usage: replay FOLDER SEED [MAX_ENTRIES] < lines\n");
    return 2;
  }
  tsugihagi_options_init(&options);
  options.use_seed = 1;
  options.seed = (uint32_t)strtoul(argv[2], NULL, 10);
  if (argc > 3) options.max_entries = (int32_t)strtol(argv[3], NULL, 10);
  status = tsugihagi_open(argv[1], &options, &bot);
  if (status != TSUGIHAGI_OK) return failed(bot, "open", status);
  while (fgets(line, sizeof line, stdin) != NULL) {
    size_t len = strcspn(line, "\n");
    char* reply = NULL;
    size_t reply_len = 0;
    if (len > 0 && line[len - 1] == '\r') --len;
    status = tsugihagi_converse(bot, line, len, &reply, &reply_len);
    if (status == TSUGIHAGI_NO_LINE) continue;
    if (status != TSUGIHAGI_OK) return failed(bot, "converse", status);
    fwrite(reply, 1, reply_len, stdout);
    fputc('\n', stdout);
    tsugihagi_free(reply);
  }
  status = tsugihagi_close(bot);
  if (status != TSUGIHAGI_OK) {
    fprintf(stderr, "close: status %d\n", (int)status);
    return 1;
  }
  return 0;
}
