/* The packed program inside the stub, its last bytes: the coded bits without the size in front,
   which the stub has as a figure. The decoder reads up to four bytes past the end, which fall in
   the zero-filled memory the segment maps beyond the file. */
  .section .payload, "a"
  .globl packed_program
packed_program:
  .incbin "payload.cm", 4
