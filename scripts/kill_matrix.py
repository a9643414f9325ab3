#!/usr/bin/env python3
"""Which tests kill which mutants: for chosen mutants of the mutation tool's
sample, rebuilds and runs every test (no stop at the first failure) and records
the failing ones. The cut of a test is safe for the sample when no mutant lists
it alone.

  scripts/kill_matrix.py MUTATE_PY REPO BUILD OUT.json N [N ...]

MUTATE_PY is the mutation tool (its candidates() and sample order are reused:
sample 150, seed 1); REPO a scratch clone whose src/ is changed and restored
in turn; N the 1-based sample numbers. OUT.json maps each N to its failing
tests (null: it did not compile) and is resumed when it exists.
"""
import glob, importlib.util, json, os, random, re, subprocess, sys, time

tool, repo, build, out = sys.argv[1], *map(os.path.abspath, sys.argv[2:4]), sys.argv[4]
spec = importlib.util.spec_from_file_location('mutate', tool)
mutate = importlib.util.module_from_spec(spec)
spec.loader.exec_module(mutate)
files = sorted(glob.glob(os.path.join(repo, 'src/**/*.cpp'), recursive=True))
cands = [c for f in files for c in mutate.candidates(f)]
sample = random.Random(1).sample(cands, min(150, len(cands)))
res = json.load(open(out)) if os.path.exists(out) else {}
for n in map(int, sys.argv[5:]):
    if str(n) in res:
        continue
    path, i, s, e, rep = sample[n - 1]
    orig = open(path, encoding='utf-8', errors='surrogateescape').read()
    lines = orig.split('\n')
    lines[i] = lines[i][:s] + rep + lines[i][e:]
    open(path, 'w', encoding='utf-8', errors='surrogateescape').write('\n'.join(lines))
    t0 = time.time()
    try:
        built = subprocess.run(['ninja', '-C', build], stdout=subprocess.DEVNULL).returncode == 0
        failed = None
        if built:
            log = subprocess.run(['ctest', '--test-dir', build, '-j2', '--timeout', '120'],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True).stdout
            # Skipped tests are listed the same way; only failures count.
            failed = re.findall(r'^\s*\d+ - (\S+) \((?!Skipped)', log, re.M)
    finally:
        open(path, 'w', encoding='utf-8', errors='surrogateescape').write(orig)
        os.utime(path)
    res[str(n)] = failed
    json.dump(res, open(out, 'w'), indent=0)
    print(f'#{n} {time.time() - t0:.0f}s {os.path.relpath(path, repo)}:{i + 1}: '
          f'{"stillborn" if failed is None else " ".join(failed) or "no test fails"}', flush=True)
subprocess.run(['ninja', '-C', build], stdout=subprocess.DEVNULL)
