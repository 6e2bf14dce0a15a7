# Installs the Debian packages given as arguments when any is missing.
ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# The libraries the viewer is built with, and what its tests draw with: a
# virtual display, Mesa's software renderer, input and screenshots.
viewer_packages=(libfltk1.3-dev fluid libglew-dev libglu1-mesa-dev libgl1-mesa-dri libpng-dev libstb-dev)
viewer_test_packages=(xvfb xauth x11-utils xdotool imagemagick)

# The Python module (built when pybind11 is found) and its tests: numpy,
# meshio for any mesh format, Dask for many meshes, pytest; pkg-config for
# the installed-package test.
python_packages=(python3-dev pybind11-dev python3-pybind11 python3-numpy python3-meshio
  python3-distributed python3-pytest pkg-config)

# Configures and builds one build directory: build_tree DIR [cmake options...]
build_tree() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
