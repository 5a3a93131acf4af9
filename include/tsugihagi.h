/* tsugihagi: a Japanese chatbot that learns everything from what it is told, usable from
 * C99 and C++. A bot lives in a folder (its five data files in data/, its settings in
 * "config", its transcript in "log.txt") and is opened, talked to, taught, told to forget,
 * saved and closed through the functions below.
 *
 * Text is UTF-8, passed with its length in bytes; invalid UTF-8 is refused and nothing is
 * learned from it. Strings the library returns are allocated by it, NUL-terminated (the
 * length given excludes the NUL) and freed with tsugihagi_free.
 *
 * Every function returns a status; none throws or aborts across this boundary, and running
 * out of memory is a status too. After a failure tsugihagi_last_error(bot) says why, in one
 * message per bot, kept until the next call on that bot.
 *
 * Threads: one bot is used by one thread at a time; distinct bots on distinct folders may be
 * used at the same time from different threads.
 *
 * Saving: while a bot saves (see tsugihagi_save_mode), every learned line is journaled to its
 * folder before the call returns, so a crash loses nothing; the next open replays it. */
#ifndef TSUGIHAGI_H
#define TSUGIHAGI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(TSUGIHAGI_BUILDING_LIBRARY)
#define TSUGIHAGI_API __declspec(dllexport)
#else
#define TSUGIHAGI_API __declspec(dllimport)
#endif
#else
#define TSUGIHAGI_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tsugihagi_bot tsugihagi_bot;

typedef enum tsugihagi_status {
  TSUGIHAGI_OK = 0,
  TSUGIHAGI_NO_LINE = 1,       /* the line was empty once cut at a NUL: no turn ran */
  TSUGIHAGI_IN_USE = 2,        /* another program holds the folder */
  TSUGIHAGI_LOAD_FAILED = 3,   /* a data file could not be read: see the last error */
  TSUGIHAGI_SAVE_FAILED = 4,   /* the files were not replaced; the journal keeps the lines */
  TSUGIHAGI_INVALID_UTF8 = 5,  /* the text is not UTF-8: nothing was learned */
  TSUGIHAGI_BAD_USAGE = 6,     /* a null argument, a missing folder, an impossible option */
  TSUGIHAGI_NO_MEMORY = 7,     /* the bot is unusable from then on: close it */
  TSUGIHAGI_FAILED = 8         /* any other failure, e.g. a bot whose open failed */
} tsugihagi_status;

typedef enum tsugihagi_save_mode {
  TSUGIHAGI_SAVE_CONFIG = 0, /* as the folder's "config" says (the window's check box) */
  TSUGIHAGI_SAVE_ALWAYS = 1,
  TSUGIHAGI_SAVE_NEVER = 2 /* nothing in data/ is ever written */
} tsugihagi_save_mode;

typedef struct tsugihagi_options {
  uint32_t size;             /* sizeof(tsugihagi_options), set by tsugihagi_options_init */
  int use_seed;              /* 0: the first turn seeds the generator from the clock */
  uint32_t seed;             /* the seed when use_seed is non-zero */
  int32_t max_entries;       /* the dictionary's entry limit, 1..16777215; 0: that maximum */
  tsugihagi_save_mode save;  /* TSUGIHAGI_SAVE_CONFIG by default */
  int create;                /* non-zero (default): a folder without data/ gets an empty one */
  int transcript;            /* non-zero (default): exchanges are written to "log.txt" */
} tsugihagi_options;

typedef struct tsugihagi_forget_counts {
  size_t words;        /* words removed */
  size_t phrases;      /* phrases removed with them */
  size_t log_lines;    /* log lines removed */
  char* removed_words; /* the words removed, each followed by "\n"; free with tsugihagi_free */
  size_t removed_words_len;
} tsugihagi_forget_counts;

typedef struct tsugihagi_statistics {
  size_t words;
  size_t phrases;
  size_t log_lines;
  size_t free_word_ids;
  size_t free_phrase_ids;
  size_t recovered_lines; /* replayed from the journal when the bot was opened */
} tsugihagi_statistics;

/* The library's version, "MAJOR.MINOR.PATCH". */
TSUGIHAGI_API const char* tsugihagi_version(void);

/* Fills `options` with the defaults. */
TSUGIHAGI_API void tsugihagi_options_init(tsugihagi_options* options);

/* Opens the bot in folder `dir` (UTF-8; NULL: the folder the window uses), taking its lock,
 * finishing a save a crash interrupted, loading the data files and replaying the journal.
 * `options` may be NULL (the defaults). On success *bot is the bot. On failure *bot is a
 * handle that only carries tsugihagi_last_error (or NULL when there was no memory for it):
 * close it too. */
TSUGIHAGI_API tsugihagi_status tsugihagi_open(const char* dir, const tsugihagi_options* options,
                                              tsugihagi_bot** bot);

/* One turn, as the window runs it: learns `line` and answers; the exchange goes to the
 * transcript. *reply receives the answer (free it with tsugihagi_free). */
TSUGIHAGI_API tsugihagi_status tsugihagi_converse(tsugihagi_bot* bot, const char* line,
                                                  size_t len, char** reply, size_t* reply_len);

/* Learns `line` without answering, as teaching from a file does. */
TSUGIHAGI_API tsugihagi_status tsugihagi_learn(tsugihagi_bot* bot, const char* line, size_t len);

/* Removes every word containing `text` (with its lists and phrases; its id is freed) and
 * every log line containing it. With `dry_run` non-zero nothing changes: `counts` says what
 * would go. `counts` may be NULL. */
TSUGIHAGI_API tsugihagi_status tsugihagi_forget(tsugihagi_bot* bot, const char* text, size_t len,
                                                int dry_run, tsugihagi_forget_counts* counts);

/* Saves the five data files now, as one set (unless the save mode is never). */
TSUGIHAGI_API tsugihagi_status tsugihagi_save(tsugihagi_bot* bot);

TSUGIHAGI_API tsugihagi_status tsugihagi_stats(tsugihagi_bot* bot, tsugihagi_statistics* stats);

/* Saves as the save mode says, releases the folder and frees the bot (also a failed one).
 * Returns the save's status; the bot is gone either way. NULL does nothing. */
TSUGIHAGI_API tsugihagi_status tsugihagi_close(tsugihagi_bot* bot);

/* Why the last call on `bot` failed (UTF-8); "" when it did not. Valid until the next call on
 * the bot. NULL: the message for a bot that could not be allocated. */
TSUGIHAGI_API const char* tsugihagi_last_error(const tsugihagi_bot* bot);

/* Frees a string the library returned. NULL does nothing. */
TSUGIHAGI_API void tsugihagi_free(void* pointer);

#ifdef __cplusplus
}
#endif

#endif /* TSUGIHAGI_H */
