# Source-list handling of the set-up, sourced by scripts/setup and by its test. Every function takes the
# apt folder (normally /etc/apt) as its first argument, so the test can hand it a temporary folder.
#
# Debian 12 machines come in two shapes: the deb822 files the cloud images write
# (sources.list.d/*.sources, "Types: deb" stanzas) and the one-line sources.list that the installer and
# debootstrap write ("deb [options] URI suite components"). The source package of libjpeg-turbo must come
# from the same archive as the binaries, so the deb-src entry copies the address, components and keyring
# of the machine's own "deb" entry for its release, in the same format.

# Prints one record per enabled entry of the apt folder, tab-separated:
#   format  types  uri  suites  components  options
# format is "deb822" or "classic"; types and suites are blank-separated lists; options is the text inside
# the brackets of a classic line, or the Signed-By value of a stanza.
apt_entries() {
  local dir=$1 f
  for f in "$dir"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types != "" && uris != "" && tolower(enabled) != "no") {
          n = split(uris, u, " ")
          for (i = 1; i <= n; i++) printf "deb822\t%s\t%s\t%s\t%s\t%s\n", types, u[i], suites, comps, signed
        }
        types = uris = suites = comps = signed = enabled = ""; last = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (last == "uris") uris = uris " " $0; next }   # a folded continuation line
      {
        key = tolower($0); sub(/:.*/, "", key)
        val = $0; sub(/^[^:]*:[ \t]*/, "", val); sub(/[ \t]+$/, "", val)
        last = key
        if (key == "types") types = val
        else if (key == "uris") uris = val
        else if (key == "suites") suites = val
        else if (key == "components") comps = val
        else if (key == "signed-by") signed = val
        else if (key == "enabled") enabled = val
      }
      END { flush() }' "$f"
  done
  for f in "$dir"/sources.list "$dir"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '
      { sub(/#.*/, "") }
      $1 == "deb" || $1 == "deb-src" {
        type = $1; line = $0; opts = ""
        sub(/^[ \t]*deb(-src)?[ \t]+/, "", line)
        if (substr(line, 1, 1) == "[") {
          end = index(line, "]"); if (end == 0) next
          opts = substr(line, 2, end - 2); line = substr(line, end + 1)
          gsub(/^[ \t]+|[ \t]+$/, "", opts)
        }
        n = split(line, w, " "); if (n < 2) next
        comps = ""; for (i = 3; i <= n; i++) comps = comps (comps == "" ? "" : " ") w[i]
        printf "classic\t%s\t%s\t%s\t%s\t%s\n", type, w[1], w[2], comps, opts
      }' "$f"
  done
}

# Addresses compare without a trailing slash: "http://deb.debian.org/debian/" is the same archive.
apt_same_uri() { [ "${1%/}" = "${2%/}" ]; }
apt_has_word() { case " $1 " in *" $2 "*) return 0 ;; esac; return 1; }

# Prints the first "deb" entry for the release (format, uri, components, options; tab-separated).
# Fails, printing nothing, when the machine has none.
apt_archive_entry() {
  local dir=$1 suite=$2 format types uri suites comps opts
  while IFS=$'\t' read -r format types uri suites comps opts; do
    if apt_has_word "$types" deb && apt_has_word "$suites" "$suite"; then
      printf '%s\t%s\t%s\t%s\n' "$format" "$uri" "$comps" "$opts"
      return 0
    fi
  done < <(apt_entries "$dir")
  return 1
}

# Succeeds when a deb-src entry for this archive and release exists, in either format.
apt_has_deb_src() {
  local dir=$1 suite=$2 want=$3 format types uri suites comps opts
  while IFS=$'\t' read -r format types uri suites comps opts; do
    if apt_has_word "$types" deb-src && apt_has_word "$suites" "$suite" && apt_same_uri "$uri" "$want"; then
      return 0
    fi
  done < <(apt_entries "$dir")
  return 1
}

# Decides the deb-src entry for the release's archive. Sets APT_PLAN to the file to write, a newline and
# its text; to "-" when the machine has the entry already. Fails with the reason (what to do) in APT_ERROR
# when the machine has no entry for the release at all. Writing is left to the caller, which may need root
# for it. Results are variables, not output, so the caller keeps APT_ERROR (no subshell).
apt_deb_src_plan() {
  local dir=$1 suite=$2 entry format uri comps opts
  APT_ERROR= APT_PLAN=
  if ! entry=$(apt_archive_entry "$dir" "$suite"); then
    APT_ERROR="no apt entry for the Debian release '$suite' in $dir/sources.list or $dir/sources.list.d;"
    APT_ERROR+=" add the Debian archive there (for example: deb http://deb.debian.org/debian $suite main)"
    return 1
  fi
  IFS=$'\t' read -r format uri comps opts <<<"$entry"
  if apt_has_deb_src "$dir" "$suite" "$uri"; then
    APT_PLAN=-
    return 0
  fi
  [ -n "$comps" ] || comps=main
  if [ "$format" = deb822 ]; then
    APT_PLAN=$(printf '%s\nTypes: deb-src\nURIs: %s\nSuites: %s\nComponents: %s' \
      "$dir/sources.list.d/sondrel-src.sources" "$uri" "$suite" "$comps")
    [ -z "$opts" ] || APT_PLAN+=$'\n'"Signed-By: $opts"
  elif [ -n "$opts" ]; then
    APT_PLAN=$(printf '%s\ndeb-src [%s] %s %s %s' "$dir/sources.list.d/sondrel-src.list" "$opts" "$uri" "$suite" "$comps")
  else
    APT_PLAN=$(printf '%s\ndeb-src %s %s %s' "$dir/sources.list.d/sondrel-src.list" "$uri" "$suite" "$comps")
  fi
}

# The release name the machine runs (bookworm on Debian 12).
apt_release() {
  local os_release=${1:-/etc/os-release} name=
  [ -r "$os_release" ] && name=$(. "$os_release" && printf '%s' "${VERSION_CODENAME:-}")
  printf '%s\n' "${name:-bookworm}"
}
