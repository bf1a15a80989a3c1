/* First fit as a plug-in: on the path the routing method offers, each
 * segment takes the lowest-numbered wavelength that fits all its hops,
 * scanning the first hop's window of possibly free wavelengths upwards and
 * counting every wavelength it passes as one attempt. The classic
 * wavelength assignment of the RWA literature (Zang, Jue and Mukherjee,
 * "A review of routing and wavelength assignment approaches for
 * wavelength-routed optical WDM networks", Optical Networks Magazine 1(1),
 * 2000); it makes the same choices as lumtra -ff. */
#include <lumtra/plugin.h>

#include <stdio.h>

/* The lowest wavelength of [from, to) that fits the hops h[0 .. n), or `to`.
 * The free masks, ANDed over the hops whose ends do not both groom, skip
 * in one step the wavelengths some call already holds there. */
static uint32_t lowest_fit(const lumtra_lane *lane, const lumtra_hop *h, uint32_t n, uint32_t slots, uint32_t from,
                           uint32_t to) {
  for (uint32_t k = from / 64; k * 64 < to; ++k) {
    uint64_t m = k == from / 64 ? ~(uint64_t)0 << (from % 64) : ~(uint64_t)0;
    int groomed = 0;
    for (uint32_t j = 0; j < n; ++j)
      if (h[j].groomed) groomed = 1;
      else m &= lumtra_free_mask(lane, h[j].link)[k];
    for (; m; m &= m - 1) {
      const uint32_t w = k * 64 + (uint32_t)__builtin_ctzll(m);
      if (!groomed && slots <= lane->facts->slots_per_wavelength) return w < to ? w : to;
      uint32_t j = 0;
      while (j < n && lumtra_fits_hop(lane, &h[j], w, slots)) ++j;
      if (w >= to || j == n) return w < to ? w : to;
    }
  }
  return to;
}

static int assign(void *state, const lumtra_lane *lane, const lumtra_call *call, lumtra_answer *answer) {
  (void)state;
  const lumtra_path *p = lumtra_pair_path(lane->facts, call->source, call->destination, (uint32_t)call->candidate);
  const lumtra_hop *h = lane->facts->hops + p->first_hop;
  uint32_t left = call->attempts_left, first = 0, end;
  answer->path = (uint32_t)call->candidate;
  answer->segments = p->segments;
  for (uint32_t seg = 0; first < p->hops; ++seg, first = end) {
    for (end = first; !h[end].ends_segment; ++end) {}
    ++end;
    const lumtra_link_state *l = &lane->links[h[first].link];
    const uint32_t low = l->low, top = l->high_end < h[first].bound ? l->high_end : h[first].bound;
    if (low >= top) return LUMTRA_PATH_FAILS;  /* nothing to try, no attempt */
    const uint32_t allowed = top - low < left ? top - low : left;
    const uint32_t w = lowest_fit(lane, h + first, end - first, call->slots, low, low + allowed);
    if (w == low + allowed) {  /* every wavelength allowed was tried */
      answer->attempts += allowed;
      return allowed < top - low ? LUMTRA_BLOCKED : LUMTRA_PATH_FAILS;
    }
    answer->attempts += w - low + 1;
    left -= w - low + 1;
    answer->wavelengths[seg] = w;
  }
  return LUMTRA_PLACED;
}

/* No state of its own: any pointer but null will do. */
static void *create(const lumtra_facts *f, const char *args, void *user, char *error, size_t size) {
  (void)user;
  if (*args) {
    snprintf(error, size, "takes no arguments, but was given '%s'", args);
    return NULL;
  }
  return (void *)f;
}
static void destroy(void *state) { (void)state; }

static const lumtra_plugin table = {LUMTRA_PLUGIN_API_VERSION, LUMTRA_ASSIGNS, "first-fit", "1.0",
                                    create, destroy, NULL, assign, NULL};

const lumtra_plugin *lumtra_plugin_entry(void) { return &table; }
