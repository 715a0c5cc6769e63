// The digits of the studio's packed program (pack_page.js writes them, page_loader.js reads
// them): printable ASCII without the characters that could end or bend a script element or an
// attribute (< & " ' \ `), in order, the first 85 of them.
'use strict';
const base85Alphabet = Array.from({length: 94}, (_, i) => String.fromCharCode(33 + i))
                            .filter((c) => !'<&"\'\\`'.includes(c)).slice(0, 85).join('');
if (typeof module !== 'undefined') module.exports = {base85Alphabet};
