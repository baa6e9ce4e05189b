lfo0 freq=1 amp=2 ; typed by hand
lfo1   sin amp=1 freq=1
lfo2 saw amp=5 freq=6
lfo3 tri amp=0 freq=0

  wapbc 7 k=-0
chr2 rcpc inr -sin latch compk
