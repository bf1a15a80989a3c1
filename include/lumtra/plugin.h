/* Lumtra plug-in interface: a routing-and-wavelength-assignment method
 * written outside the program, in any language that can export a C function.
 *
 * A plug-in is a shared object exporting one function,
 *
 *     const lumtra_plugin *lumtra_plugin_entry(void);
 *
 * that returns a table of callbacks (static storage; it is read, never
 * freed). `lumtra --plugin:FILE[:ARGS]` loads it. A program that embeds
 * Lumtra may also hand a table it made itself to the in-process entry
 * point, without any file (see docs/plugins.md).
 *
 * The plug-in never changes the network. It reads the facts of the run
 * (lumtra_facts, fixed from create to destroy) and the live state of its lane
 * (lumtra_lane, valid during one callback), and answers each call with a
 * path and one wavelength per segment, or blocks it. The program checks
 * every answer before it takes any capacity; a wrong answer stops the run
 * with exit status 1 and a message naming the plug-in and the call.
 *
 * Threads: with --parallel every simulation lane creates its own instance
 * and calls it from its own thread; instances must not share mutable data.
 * All randomness should come from lumtra_uniform(), so that a run is
 * repeated exactly from its seed.
 *
 * Compatibility: LUMTRA_PLUGIN_API_VERSION changes whenever a structure or
 * a callback of this header changes; the program refuses a table of any
 * other version. Plain C99, usable from C++.
 */
#ifndef LUMTRA_PLUGIN_H
#define LUMTRA_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LUMTRA_PLUGIN_API_VERSION 1

/* The exported symbol's name. */
#define LUMTRA_PLUGIN_ENTRY_NAME "lumtra_plugin_entry"

/* A limit that is not set (the attempt limit without -at). */
#define LUMTRA_NO_LIMIT 4294967295u

/* What the plug-in replaces (lumtra_plugin.role). */
enum lumtra_role {
  /* Wavelengths only: the routing method of the command line (first fit
   * unless another is named) offers the candidate paths one by one. */
  LUMTRA_ASSIGNS = 0,
  /* Paths and wavelengths: the plug-in is asked once per call and picks any
   * of the pair's candidate paths. */
  LUMTRA_ROUTES_AND_ASSIGNS = 1
};

/* What assign returns. */
enum lumtra_outcome {
  LUMTRA_PLACED = 0,      /* the answer holds a path and its wavelengths */
  LUMTRA_PATH_FAILS = 1,  /* LUMTRA_ASSIGNS only: no wavelength on the offered
                             path; the routing method offers the next */
  LUMTRA_BLOCKED = 2      /* the call is lost */
};

/* One hop of a candidate path: a fibre, and where the call may change its
 * wavelength. */
typedef struct lumtra_hop {
  uint32_t fibre;       /* index into lumtra_facts.fibres */
  uint32_t link;        /* the fibre's entry in lumtra_lane.links */
  uint32_t bound;       /* wavelengths 0 .. bound-1 exist on every fibre of
                           the hop's segment */
  uint8_t ends_segment; /* 1 at the path's end and where the hop's far node
                           converts wavelengths */
  uint8_t groomed;      /* 1 when both ends groom: a wavelength that already
                           carries calls may take this one too */
  uint16_t reserved;
} lumtra_hop;

/* A candidate path. */
typedef struct lumtra_path {
  uint32_t first_hop;   /* its hops: facts->hops[first_hop .. first_hop+hops) */
  uint32_t hops;
  uint32_t segments;    /* runs of hops that keep one wavelength */
  uint32_t first_node;  /* the nodes after the source:
                           facts->path_nodes[first_node .. first_node+hops) */
  int64_t cost;         /* sum of the link weights */
} lumtra_path;

/* A fibre: one direction of a link. */
typedef struct lumtra_fibre {
  uint32_t from, to;       /* node numbers, 0-based */
  uint32_t wavelengths;
  uint32_t link;           /* from * nodes + to: its entry in lumtra_lane.links */
} lumtra_fibre;

/* The live state of one fibre (all zero where two nodes have none). */
typedef struct lumtra_link_state {
  uint32_t wavelengths;
  uint32_t low;           /* every wavelength below `low` is full */
  uint32_t high_end;      /* every wavelength from `high_end` on is full;
                             inside the window some may be full as well */
  uint32_t free_slots;    /* free time slots over all its wavelengths */
  uint64_t slots_offset;  /* its wavelength 0 in lumtra_lane.free_slots */
  uint64_t mask_offset;   /* its first word in lumtra_lane.free_words */
} lumtra_link_state;

/* The candidate paths of the ordered pair (s, d): facts->paths[first ..
 * first+count), at index s * nodes + d of facts->pairs, in the order the
 * path options gave them. */
typedef struct lumtra_pair {
  uint32_t first;
  uint32_t count;
} lumtra_pair;

/* Read-only facts of the run, valid from create to destroy. */
typedef struct lumtra_facts {
  uint32_t nodes;                /* T: real nodes, then grooming ports/cores */
  uint32_t real_nodes;           /* N */
  uint32_t fibre_count;
  uint32_t slots_per_wavelength;
  uint32_t max_attempts;         /* per call, LUMTRA_NO_LIMIT without -at */
  uint32_t path_count;
  uint32_t longest_path;         /* most hops of any candidate */
  uint32_t reserved;
  const lumtra_fibre *fibres;    /* fibre_count */
  const double *arrival_rates;   /* nodes x nodes, row = source */
  const lumtra_pair *pairs;      /* nodes x nodes, row = source */
  const lumtra_path *paths;      /* path_count */
  const lumtra_hop *hops;
  const uint32_t *path_nodes;
} lumtra_facts;

/* The live state of the plug-in's lane, valid during a callback. */
typedef struct lumtra_lane {
  const lumtra_facts *facts;
  const lumtra_link_state *links;  /* nodes x nodes, row = from */
  /* Bit w % 64 of word mask_offset + w / 64: wavelength w of the fibre
   * carries no call at all. Bits past the fibre's wavelengths are 0. */
  const uint64_t *free_words;
  /* Entry slots_offset + w: free time slots of wavelength w of the fibre,
   * 0 .. slots_per_wavelength. */
  const uint32_t *free_slots;
  double now;         /* simulated time since the batch began */
  /* Draws from the run's Method stream; use lumtra_uniform(). */
  double (*draw)(void *engine);
  void *engine;
} lumtra_lane;

/* A call to place (or the part of one being placed, with -m). */
typedef struct lumtra_call {
  uint32_t source, destination;  /* 0-based */
  uint32_t slots;                /* time slots it needs on its wavelengths */
  /* LUMTRA_ASSIGNS: the offered path's index in the pair's list (the
   * answer's path must be this one); LUMTRA_ROUTES_AND_ASSIGNS: -1. */
  int32_t candidate;
  /* Wavelength trials this call may still count under -at (otherwise
   * LUMTRA_NO_LIMIT). */
  uint32_t attempts_left;
  uint32_t reserved;
} lumtra_call;

/* The answer, filled by assign. */
typedef struct lumtra_answer {
  uint32_t path;         /* index in the pair's candidate list */
  uint32_t segments;     /* how many wavelengths follow; must equal the
                            path's segment count */
  uint32_t attempts;     /* wavelength trials made in this callback, each
                            candidate wavelength tested counting one; they
                            feed "Average Number of attempts" and must not
                            exceed call->attempts_left */
  uint32_t reserved;
  uint32_t *wavelengths; /* room for longest_path entries: the wavelength of
                            segment 0, 1, ... */
} lumtra_answer;

/* A call that departs, as it was placed. */
typedef struct lumtra_departure {
  uint32_t source, destination;
  uint32_t path;                 /* index in the pair's candidate list */
  uint32_t slots;
  const uint32_t *wavelengths;   /* one per hop (not per segment) */
} lumtra_departure;

typedef struct lumtra_plugin {
  uint32_t api_version;  /* LUMTRA_PLUGIN_API_VERSION */
  uint32_t role;         /* enum lumtra_role */
  const char *name;      /* short, e.g. "max-sum" */
  const char *version;   /* of the plug-in, e.g. "1.0" */
  /* A new instance for one simulation lane. `args` is the text after the
   * file name's colon ("" when none); `user` is the embedding program's
   * pointer (null for a plug-in loaded from a file). On failure return
   * null after writing one line (no newline) into error[0 .. error_size). */
  void *(*create)(const lumtra_facts *facts, const char *args, void *user, char *error, size_t error_size);
  void (*destroy)(void *state);
  /* Optional: the start of every batch; the instance must then behave as
   * just created, so that batches are independent replications. */
  void (*reset)(void *state);
  /* Required: place `call`. Return an enum lumtra_outcome. */
  int (*assign)(void *state, const lumtra_lane *lane, const lumtra_call *call, lumtra_answer *answer);
  /* Optional: a call placed by this instance departs. */
  void (*release)(void *state, const lumtra_lane *lane, const lumtra_departure *call);
} lumtra_plugin;

typedef const lumtra_plugin *(*lumtra_plugin_entry_fn)(void);

/* ---- Helpers for plug-ins ------------------------------------------- */

/* Free mask of a link (lumtra_hop.link, lumtra_fibre.link): word k covers
 * wavelengths 64k .. 64k+63. */
static inline const uint64_t *lumtra_free_mask(const lumtra_lane *lane, uint32_t link) {
  return lane->free_words + lane->links[link].mask_offset;
}

/* Free time slots of wavelength w on a link. */
static inline uint32_t lumtra_free_slots(const lumtra_lane *lane, uint32_t link, uint32_t w) {
  return lane->free_slots[lane->links[link].slots_offset + w];
}

/* Whether wavelength w can take `slots` more on a hop: enough free slots,
 * and, unless both ends groom, no other call on it. */
static inline int lumtra_fits_hop(const lumtra_lane *lane, const lumtra_hop *hop, uint32_t w, uint32_t slots) {
  if (w >= hop->bound) return 0;
  const uint32_t free_slots = lumtra_free_slots(lane, hop->link, w);
  return free_slots >= slots &&
         (hop->groomed || free_slots == lane->facts->slots_per_wavelength);
}

/* The next draw of the Method stream, in (0, 1). */
static inline double lumtra_uniform(const lumtra_lane *lane) { return lane->draw(lane->engine); }

/* Path k of the pair (s, d). */
static inline const lumtra_path *lumtra_pair_path(const lumtra_facts *facts, uint32_t s, uint32_t d, uint32_t k) {
  return facts->paths + facts->pairs[(size_t)s * facts->nodes + d].first + k;
}

#ifdef __cplusplus
}
#endif

#endif /* LUMTRA_PLUGIN_H */
