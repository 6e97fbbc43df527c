// Writes the ESC/POS receipts in this folder with a real encoder library,
// @point-of-sale/receipt-printer-encoder (npm), so the decoder's tests see
// bytes it did not make itself. Run once; the outputs are checked in.
'use strict';
const fs = require('fs');
const path = require('path');
const ReceiptPrinterEncoder = require('@point-of-sale/receipt-printer-encoder');

const options = { language: 'esc-pos', columns: 42, codepageMapping: 'epson', imageMode: 'raster' };

// A 32 x 8 logo whose raster rows are the bytes LF, ESC, GS, 'V' in turn:
// command bytes inside the image data must not reach the text.
function logo() {
  const width = 32;
  const height = 8;
  const rows = [0x0a, 0x1b, 0x1d, 0x56];
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const black = (rows[(y + (x >> 3)) % rows.length] >> (7 - (x & 7))) & 1;
      const at = (y * width + x) * 4;
      data[at] = data[at + 1] = data[at + 2] = black ? 0 : 255;
      data[at + 3] = 255;
    }
  }
  return { data, width, height };
}

function cafe() {
  return new ReceiptPrinterEncoder(options)
    .initialize()
    .codepage('cp858')
    .image(logo(), 32, 8, 'threshold')
    .align('center').bold(true).line('CAFÉ BRÜCKE').bold(false)
    .line('Receipt 2041')
    .align('left')
    .rule()
    .table(
      [{ width: 30, align: 'left' }, { width: 12, align: 'right' }],
      [['Espresso', '2,40 €'], ['Apfelstrudel', '4,90 €'], ['Total', '7,30 €']])
    .rule()
    .barcode('4006381333931', 'ean13', 60)
    .newline()
    .line('Danke!')
    .cut()
    .encode();
}

function kiosk() {
  return new ReceiptPrinterEncoder(options)
    .initialize()
    .codepage('cp866').line('Квитанция 7')
    .codepage('windows1250').line('Zażółć gęślą jaźń')
    .qrcode('https://example.com/r/7')
    .line('Ende')
    .cut('partial')
    .encode();
}

// A 48 x 16 logo, black where (x + 2y) % 5 == 0, so a test can compute every bit.
function stripes() {
  const width = 48;
  const height = 16;
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const at = (y * width + x) * 4;
      data[at] = data[at + 1] = data[at + 2] = (x + 2 * y) % 5 === 0 ? 0 : 255;
      data[at + 3] = 255;
    }
  }
  return { data, width, height };
}

// Everything a tap reports besides text: a logo, a CODE128 bar code, a QR
// code, a PDF417 code and a drawer pulse at the end of a cash sale.
function shop() {
  return new ReceiptPrinterEncoder(options)
    .initialize()
    .image(stripes(), 48, 16, 'threshold')
    .line('Shop 12')
    .line('TOTAL 9.99')
    .barcode('R-0042', 'code128', 60)
    .qrcode('https://example.com/r/42', 2, 4, 'm')
    .pdf417('TILL 3 RECEIPT 42')
    .pulse(0, 100, 500)
    .cut()
    .encode();
}

for (const [name, make] of [['cafe.prn', cafe], ['kiosk.prn', kiosk], ['shop.prn', shop]]) {
  fs.writeFileSync(path.join(__dirname, name), Buffer.from(make()));
}
