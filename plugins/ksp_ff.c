/* k shortest paths with first fit (KSP-FF), routing and assignment
 * together: of the pair's candidate paths, the k with the fewest hops
 * (among equals, in the order the path search found them) are tried in that
 * order; on each, every segment takes the lowest wavelength that fits, and
 * the first path on which every segment finds one takes the call. The
 * usual baseline of dynamic RWA studies; the k shortest loop-free paths are
 * those of J. Y. Yen, "Finding the k shortest loopless paths in a network",
 * Management Science 17(11), 1971. Give the search enough candidates (-a,
 * -mc:2 or -n:3, say): with the default options every candidate is a
 * shortest path.
 *
 * Argument: k (default 3).
 */
#include <lumtra/plugin.h>

#include <stdio.h>
#include <stdlib.h>

typedef struct state {
  uint32_t k;
  uint32_t *order;  /* per pair: up to k list indices, fewest hops first */
  uint32_t *count;  /* per pair: how many */
} state;

static void destroy(void *p) {
  state *s = p;
  if (s) free(s->order), free(s->count), free(s);
}

static void *create(const lumtra_facts *f, const char *args, void *user, char *error, size_t size) {
  (void)user;
  char *end = NULL;
  const unsigned long k = *args ? strtoul(args, &end, 10) : 3;
  if ((*args && (*end || *args == '-')) || k == 0 || k > 1000) {
    snprintf(error, size, "'%s' is not a number of paths k from 1 to 1000", args);
    return NULL;
  }
  const size_t pairs = (size_t)f->nodes * f->nodes;
  state *s = calloc(1, sizeof *s);
  if (!s || !(s->order = malloc(pairs * k * sizeof *s->order)) || !(s->count = calloc(pairs, sizeof *s->count))) {
    snprintf(error, size, "out of memory for %lu paths of %zu pairs", k, pairs);
    destroy(s);
    return NULL;
  }
  s->k = (uint32_t)k;
  for (size_t pair = 0; pair < pairs; ++pair) {
    uint32_t *o = s->order + pair * k, n = 0;
    const lumtra_pair *list = &f->pairs[pair];
    for (uint32_t c = 0; c < list->count; ++c) {
      /* insert c after every kept path with no more hops than it */
      const uint32_t hops = f->paths[list->first + c].hops;
      uint32_t at = n;
      while (at > 0 && f->paths[list->first + o[at - 1]].hops > hops) --at;
      if (at >= k) continue;
      for (uint32_t m = n < s->k ? n : s->k - 1; m > at; --m) o[m] = o[m - 1];
      o[at] = c;
      if (n < s->k) ++n;
    }
    s->count[pair] = n;
  }
  return s;
}

/* First fit on every segment of path p; the same outcome as first_fit.c. */
static int fit_path(const lumtra_lane *lane, const lumtra_path *p, const lumtra_call *call, uint32_t *left,
                    lumtra_answer *answer) {
  const lumtra_hop *h = lane->facts->hops + p->first_hop;
  for (uint32_t g = 0, first = 0, end; first < p->hops; ++g, first = end) {
    for (end = first; !h[end].ends_segment; ++end) {}
    ++end;
    const lumtra_link_state *l = &lane->links[h[first].link];
    const uint32_t low = l->low, top = l->high_end < h[first].bound ? l->high_end : h[first].bound;
    uint32_t w = low, j = first;
    for (; w < top && w - low < *left; ++w) {
      for (j = first; j < end && lumtra_fits_hop(lane, &h[j], w, call->slots); ++j) {}
      if (j == end) break;
    }
    const uint32_t tried = w < top && j == end ? w - low + 1 : w - low;
    answer->attempts += tried;
    *left -= tried;
    if (w < top && j == end) {
      answer->wavelengths[g] = w;
      continue;
    }
    return w < top ? LUMTRA_BLOCKED : LUMTRA_PATH_FAILS;
  }
  return LUMTRA_PLACED;
}

static int assign(void *p, const lumtra_lane *lane, const lumtra_call *call, lumtra_answer *answer) {
  const state *s = p;
  const lumtra_facts *f = lane->facts;
  const size_t pair = (size_t)call->source * f->nodes + call->destination;
  uint32_t left = call->attempts_left;
  for (uint32_t i = 0; i < s->count[pair]; ++i) {
    const uint32_t c = s->order[pair * s->k + i];
    const lumtra_path *path = &f->paths[f->pairs[pair].first + c];
    answer->path = c;
    answer->segments = path->segments;
    const int outcome = fit_path(lane, path, call, &left, answer);
    if (outcome != LUMTRA_PATH_FAILS) return outcome;
  }
  return LUMTRA_BLOCKED;
}

static const lumtra_plugin table = {LUMTRA_PLUGIN_API_VERSION, LUMTRA_ROUTES_AND_ASSIGNS, "ksp-ff", "1.0",
                                    create, destroy, NULL, assign, NULL};

const lumtra_plugin *lumtra_plugin_entry(void) { return &table; }
