Command exited with non-zero status 1
check --all corpus 1.40 s cpu 0.47+0.10
