/* Max-Sum and Relative Capacity Loss: wavelength assignment that looks
 * ahead at the paths future calls may take.
 *
 *   Max-Sum (built as max_sum.so): S. Subramaniam and R. A. Barry,
 *   "Wavelength assignment in fixed routing WDM networks", Proc. IEEE ICC
 *   1997, pp. 406-410.
 *   Relative Capacity Loss (built as rcl.so, -DRELATIVE_LOSS): X. Zhang and
 *   C. Qiao, "Wavelength assignment for dynamic traffic in multi-fiber WDM
 *   networks", Proc. IEEE ICCCN 1998, pp. 479-485.
 *
 * Potential paths: the first candidate of every ordered pair with traffic
 * (argument "all": every candidate of such a pair). With wavelength
 * conversion the rule applies segment by segment: a potential path's
 * segments are its units, and a unit keeps wavelength j available while j is
 * free (carries no call) on every fibre of it. For a segment of the offered
 * path, the units sharing a fibre with it are the ones an assignment of j
 * can hurt; taking j costs each of them loss 1 if j is available on it now.
 *
 *   Max-Sum: the admissible j with the least total loss (the most capacity
 *            left over all potential paths);
 *   RCL:     the admissible j with the least sum of loss / C(unit), C being
 *            the unit's wavelengths available now.
 * Argument "rates" weights each unit's term by the arrival rate of its pair.
 * Ties go to the lowest wavelength. Every wavelength of the segment's
 * window is looked at and counts as one attempt (within -at: only the
 * first ones the limit allows, as first fit would try them).
 */
#include <lumtra/plugin.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct unit {
  uint32_t first_hop, hops;
  double weight;
} unit;

typedef struct state {
  const lumtra_facts *f;
  unit *units;
  uint32_t unit_count;
  uint32_t *on_fibre_start, *on_fibre;  /* units crossing each fibre (CSR) */
  uint32_t **conflicts;                 /* per path, built on first use */
  uint32_t *mark;                       /* per unit: last segment that listed it */
  uint32_t stamp;
  uint32_t words;                       /* mask words of the widest fibre */
  uint64_t *admissible;
  double *score;
} state;

static void destroy(void *p) {
  state *s = p;
  if (!s) return;
  if (s->conflicts)
    for (uint32_t k = 0; k < s->f->path_count; ++k) free(s->conflicts[k]);
  free(s->conflicts), free(s->units), free(s->on_fibre_start), free(s->on_fibre), free(s->mark);
  free(s->admissible), free(s->score), free(s);
}

static int has_word(const char *args, const char *word) {
  const size_t n = strlen(word);
  for (const char *a = args; *a;) {
    const char *end = strchr(a, ',');
    const size_t len = end ? (size_t)(end - a) : strlen(a);
    if (len == n && strncmp(a, word, n) == 0) return 1;
    a += len + (end != NULL);
  }
  return 0;
}

static int known_words(const char *args, char *error, size_t size) {
  for (const char *a = args; *a;) {
    const char *end = strchr(a, ',');
    const size_t len = end ? (size_t)(end - a) : strlen(a);
    if (!((len == 3 && strncmp(a, "all", 3) == 0) || (len == 5 && strncmp(a, "rates", 5) == 0))) {
      snprintf(error, size, "unknown argument '%.*s' (known: all, rates; separate them with commas)", (int)len, a);
      return 0;
    }
    a += len + (end != NULL);
  }
  return 1;
}

static void *create(const lumtra_facts *f, const char *args, void *user, char *error, size_t size) {
  (void)user;
  if (!known_words(args, error, size)) return NULL;
  const int all = has_word(args, "all"), rates = has_word(args, "rates");
  state *s = calloc(1, sizeof *s);
  if (!s) return NULL;
  s->f = f;
  uint32_t count = 0, widest = 1;
  for (int pass = 0; pass < 2; ++pass) {
    count = 0;
    for (size_t pair = 0; pair < (size_t)f->nodes * f->nodes; ++pair) {
      if (f->arrival_rates[pair] == 0.0) continue;
      const uint32_t take = all ? f->pairs[pair].count : (f->pairs[pair].count > 0);
      for (uint32_t k = 0; k < take; ++k) {
        const lumtra_path *p = &f->paths[f->pairs[pair].first + k];
        for (uint32_t j = 0, first = 0; j < p->hops; ++j) {
          if (!f->hops[p->first_hop + j].ends_segment) continue;
          if (pass == 1)
            s->units[count] = (unit){p->first_hop + first, j + 1 - first, rates ? f->arrival_rates[pair] : 1.0};
          ++count;
          first = j + 1;
        }
      }
    }
    if (pass == 0 && !(s->units = malloc((count + 1) * sizeof *s->units))) goto fail;
  }
  s->unit_count = count;
  for (uint32_t k = 0; k < f->fibre_count; ++k)
    if ((f->fibres[k].wavelengths + 63) / 64 > widest) widest = (f->fibres[k].wavelengths + 63) / 64;
  s->words = widest;
  s->on_fibre_start = calloc(f->fibre_count + 1, sizeof *s->on_fibre_start);
  s->conflicts = calloc(f->path_count + 1, sizeof *s->conflicts);
  s->mark = calloc(count + 1, sizeof *s->mark);
  s->admissible = calloc(widest, sizeof *s->admissible);
  s->score = calloc((size_t)widest * 64, sizeof *s->score);
  if (!s->on_fibre_start || !s->conflicts || !s->mark || !s->admissible || !s->score) goto fail;
  for (uint32_t u = 0; u < count; ++u)
    for (uint32_t j = 0; j < s->units[u].hops; ++j) ++s->on_fibre_start[f->hops[s->units[u].first_hop + j].fibre + 1];
  for (uint32_t k = 0; k < f->fibre_count; ++k) s->on_fibre_start[k + 1] += s->on_fibre_start[k];
  if (!(s->on_fibre = malloc((s->on_fibre_start[f->fibre_count] + 1) * sizeof *s->on_fibre))) goto fail;
  uint32_t *fill = calloc(f->fibre_count + 1, sizeof *fill);
  if (!fill) goto fail;
  for (uint32_t u = 0; u < count; ++u)
    for (uint32_t j = 0; j < s->units[u].hops; ++j) {
      const uint32_t fib = f->hops[s->units[u].first_hop + j].fibre;
      s->on_fibre[s->on_fibre_start[fib] + fill[fib]++] = u;
    }
  free(fill);
  return s;
fail:
  snprintf(error, size, "out of memory for %u potential path segments", count);
  destroy(s);
  return NULL;
}

/* The units sharing a fibre with each segment of path k: for segment g,
 * list[list[g] .. list[g + 1]) after the segments + 1 offsets. */
static const uint32_t *conflicts_of(state *s, uint32_t k) {
  if (s->conflicts[k]) return s->conflicts[k];
  const lumtra_facts *f = s->f;
  const lumtra_path *p = &f->paths[k];
  size_t room = p->segments + 1;
  for (uint32_t j = 0; j < p->hops; ++j) {
    const uint32_t fib = f->hops[p->first_hop + j].fibre;
    room += s->on_fibre_start[fib + 1] - s->on_fibre_start[fib];
  }
  uint32_t *list = malloc(room * sizeof *list);
  if (!list) return NULL;
  uint32_t at = p->segments + 1, g = 0;
  list[0] = at;
  for (uint32_t j = 0; j < p->hops; ++j) {
    const lumtra_hop *h = &f->hops[p->first_hop + j];
    if (j == 0 || h[-1].ends_segment) ++s->stamp;
    for (uint32_t e = s->on_fibre_start[h->fibre]; e < s->on_fibre_start[h->fibre + 1]; ++e) {
      const uint32_t u = s->on_fibre[e];
      if (s->mark[u] != s->stamp) s->mark[u] = s->stamp, list[at++] = u;
    }
    if (h->ends_segment) list[++g] = at;
  }
  return s->conflicts[k] = list;
}

/* Word k of the wavelengths free on every fibre of a unit. */
static uint64_t available(const lumtra_lane *lane, const lumtra_hop *h, uint32_t hops, uint32_t k) {
  uint64_t a = ~(uint64_t)0;
  for (uint32_t j = 0; j < hops && a; ++j)
    a &= k < (lane->facts->fibres[h[j].fibre].wavelengths + 63) / 64 ? lumtra_free_mask(lane, h[j].link)[k] : 0;
  return a;
}

static int assign(void *p, const lumtra_lane *lane, const lumtra_call *call, lumtra_answer *answer) {
  state *s = p;
  const lumtra_facts *f = lane->facts;
  const uint32_t index = f->pairs[(size_t)call->source * f->nodes + call->destination].first + (uint32_t)call->candidate;
  const lumtra_path *path = &f->paths[index];
  const lumtra_hop *h = f->hops + path->first_hop;
  const uint32_t *conflicts = conflicts_of(s, index);
  if (!conflicts) return LUMTRA_BLOCKED;
  uint32_t left = call->attempts_left;
  answer->path = (uint32_t)call->candidate;
  answer->segments = path->segments;
  for (uint32_t g = 0, first = 0, end; first < path->hops; ++g, first = end) {
    for (end = first; !h[end].ends_segment; ++end) {}
    ++end;
    const lumtra_link_state *l = &lane->links[h[first].link];
    const uint32_t low = l->low, top = l->high_end < h[first].bound ? l->high_end : h[first].bound;
    if (low >= top) return LUMTRA_PATH_FAILS;
    const uint32_t n = top - low, tried = n < left ? n : left, stop = low + tried;
    answer->attempts += tried;
    left -= tried;
    int any = 0;
    memset(s->admissible, 0, s->words * sizeof *s->admissible);
    for (uint32_t w = low; w < stop; ++w) {
      uint32_t j = first;
      while (j < end && lumtra_fits_hop(lane, &h[j], w, call->slots)) ++j;
      if (j == end) s->admissible[w / 64] |= (uint64_t)1 << (w % 64), s->score[w] = 0.0, any = 1;
    }
    if (!any) return tried < n ? LUMTRA_BLOCKED : LUMTRA_PATH_FAILS;
    for (uint32_t e = conflicts[g]; e < conflicts[g + 1]; ++e) {
      const unit *u = &s->units[conflicts[e]];
      const lumtra_hop *uh = f->hops + u->first_hop;
      double weight = u->weight;
#ifdef RELATIVE_LOSS
      uint32_t capacity = 0;
      for (uint32_t k = 0; k < s->words; ++k) capacity += (uint32_t)__builtin_popcountll(available(lane, uh, u->hops, k));
      if (capacity == 0) continue;
      weight /= capacity;
#endif
      for (uint32_t k = low / 64; k <= (stop - 1) / 64; ++k)
        for (uint64_t m = available(lane, uh, u->hops, k) & s->admissible[k]; m; m &= m - 1)
          s->score[k * 64 + (uint32_t)__builtin_ctzll(m)] += weight;
    }
    uint32_t best = top;
    for (uint32_t w = low; w < stop; ++w)
      if ((s->admissible[w / 64] >> (w % 64) & 1) && (best == top || s->score[w] < s->score[best])) best = w;
    answer->wavelengths[g] = best;
  }
  return LUMTRA_PLACED;
}

#ifdef RELATIVE_LOSS
#define METHOD_NAME "rcl"
#else
#define METHOD_NAME "max-sum"
#endif

static const lumtra_plugin table = {LUMTRA_PLUGIN_API_VERSION, LUMTRA_ASSIGNS, METHOD_NAME, "1.0",
                                    create, destroy, NULL, assign, NULL};

const lumtra_plugin *lumtra_plugin_entry(void) { return &table; }
