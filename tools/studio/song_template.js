// The song "New" starts from: short, commented, and playing at once, with a line of every kind
// to change and hear. The song check finds nothing in it.
export const newSongText = `# A new song. Each line is a tempo, an instrument, a pattern or a track;
# a line starting with # is a comment. Point at any item to see what it is,
# and press Ctrl-Space to complete one.
bpm:125

# Instrument N sounds on channel N: waveform, then attack, decay, sustain and
# release in frames (44100 a second), ring-modulation rate, pitch slide, pan, filter.
i1:sini,2,6,1,6000,0,-40
i2:kohina,2,4,1,3000,0,0,50
i3:saha,40,20,400,5000,0,0,60,40

# A pattern is one item per row, four rows to a beat; 00 is a rest.
p1:c2,00,00,00,00,00,c2,00,c2,00,00,00,00,00,00,00
p2:00,00,00,00,c4,00,00,00,00,00,00,00,c4,00,00,c4
p3:c4,00,e4,00,g4,00,e4,00,a3,00,c4,00,e4,00,c4,00
p4:f3,00,a3,00,c4,00,a3,00,g3,00,b3,00,d4,00,b3,00

# Track N is what channel N plays, pattern after pattern; loop starts it again.
t1:p1,loop
t2:p2,loop
t3:p3,p4,loop
`;
