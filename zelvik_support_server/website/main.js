// Inspector page: shows the phone's screen with a box over every visible item of the top
// window, the properties of the clicked item, and sends keys, touches, text and rotation.
'use strict';
(function () {
  // Key icons, 40x40: normal and held.
  const ICONS = {
    power: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAACAUlEQVR42u2ZMUvDQBSA85PEWdBJBCfB0cHB0UFdnAqCi0jBQQiI4NJBN4euXZysCNkyOZS4FBw6tUuWyBeacDmS5rV3l7bQ4UGSu7z35d69d6+vXhxPPF2Gw2grCD4v+v2PmyYEW9gsYyncRNHPXqfzNPD9drIMwTYMpYBhGJxOJyVhGCTj8SiJ40kjgi1sYhsGWAqAUDPQ63UbBSsDhQGWbCVTQJYW+mXCqZCwwJQCsjmny2qs/L3bTcVUDywwweYRQdyYrh5g2zv7qZhCwgITbB5hzo3pV/vPLzkg18b6/HYC2wZwA1gFo0PMAiyb7wRwNPpLLq9bOUj0O6gFZE72nHfR4QxQhdNBqgDV5xmkE0Dd0P3Do9jFzK36MCuAqpvK4CRBokOq28MYsHV7lys+O79aOIp5N5uDTmuAuwdHueL+99fCgLybzUGnFUBV6eHxiXEeREfdx84F2Hl9E7lFWiyo2wXdxoDznBCSckuqzwmgzSPRuoulYt3F0iCRivUgkaYZiThJM9JELRFniVpy1NWJ06NOUizMA2e9WKgqt3DZrD3JmOpWp+VWWcGqRjd7KqucuVajtbGCtcrdEmmk5NcDh5VSU5AujDGnLiCc/6pjr3EqZC7m2iRfFgBttT5sN5Dy1ofN5pEtKTSPVr79thYNzJVvAa9FE31V/4b4B0G1P9zZI0lgAAAAAElFTkSuQmCC',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAACBElEQVR42u2ZMUvDQBSA83McHAQHkQ52kC5ugotQ6iC4SHEouNZJULqI0EkoKE7qqjg56KCTCk4dxEkXp4LQKfKVXrgcSfPau0tb6MGDxFze+3Lv3rvXZ1CqtgJTijvNheXy0d7S5mE9D8EWNpNYYjcr26fF+bXa51ypGo5DsA1DImCh0tjqTwoLlUa4unsWlqqtXARb2MQ2DLDEAKHmweLGQa5gSaAwwKJWsgfI0kI/TjgdEhaYeoBszv6yWis/vnjsia0eWGCCLSCCuLFdPcDUsIWEBSbYAsKcG9uvPr99jQC5ttUHE2wzwBlgGowJMQgwab4XwPX9y/Dp/SsCKdevMgGZowbvosMboA5ngqQB6n9XkF4ATUM3Dx9iFzM37cOcAOpuSoKTBIkJqW8Pa8D753ak+K39PXIU864a6HQG2PnrRoprJ3cjA/KuGuh0Aqgr/fntWOdBdGR97FCAzesXkVukxYK+XdBtDTjMCSEpt6T6vAC6PBKdu1gqzl0sDRKpOA8SaZqRiJc0I03UEvGWqCVHXZZ4PeokxcIwcM6LhbRyC5cN2pM8093qtdxKKlj16GZPqcqZaz1acytY09wtGbmU/GbgsFJ6CjIHz5iTFRDef9Wx1zgVlIu5tsmXMUBXrQ/XDaSo9eGyeeRKYs2jiW+/TUUDc+JbwFPRRJ/Uf0P8A52O+3O5MmJvAAAAAElFTkSuQmCC'],
    volumeup: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABUElEQVR42u3Zv2vCQBTA8fxJ4izoJF27Obp1bScnoeDSwTkgQhf/gA5ZQ8WpmTL1XDqUTIJDJl2yXPkGU6LGX4OXd3DDQ04P3ofnXXJ58bJs6x3GapU04vjrOYoWryaCXOSssuwNkuSnM5tNfn1/rOsIcmOoBCoV93eTtFKx3mxSnWVbI0EucpIbA5Y9IGp+CMPAKKwKigFLUckcSGnR14krI7FgyoEszl1Za8cVgQUTNo8dxEBC9cpVxITNY5szkIIrAhM2BxQFHI7eZALTdK1fBkPdbHXlAcH1+k85ThxQLb91++HxHycKGM4/j3CXgP70PZ/D512BH0FwBLsGeEulrwaegjigCSBLgfVWRHle+XvmGQeeW6dVcYh0QPF/sdvF1lyorbzVWXFYsOK4ZcWB1Yojv3uqEw0U3/oQ3zwS336zooEpvgVsRRNd6muIPzIWSAJmusNyAAAAAElFTkSuQmCC',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABWklEQVR42mNwy1vAgI4d0qcbWMZ2FZhHtTfQA4PsAtmJzS0oHPuUKQ463iX3Ndzy/g8EBtkNcgNWB1rH9yZAFf23ju/975Iz979b3gK6YJBdIDtBdoPcAHILigNBrgZJGIc20tVh2BwKcgPILbCQBDsQFLQg1w+k45AdCXILyE1gB4ISJzRYB9xxMAxyC8hNILcxgHIQiDMYQg85FEFuArmNAZTNQZzB4jgYBrkJ5LZRBw4qB+46eXtwOjCofNn/o5ce/geBQedAkOPuPHn7HwYGlQMzOzf9//zt539kMGgc2DB7H4bjCDlw8fYLYDUgmqYO7F5y5D8ugE8fKSFNtANJBaMOpKYDQUkBlN5gGBkgi4PU0d2B+NIpNoDuyFEHDvooHs3FQ6agHpJV3ZBoLAyJ5taQaLAOiSb/aK9uUDtw0A99DPrBo0E//DYkBjAH/RDwkBhEH6zTEABpkvUJui1ZYQAAAABJRU5ErkJggg=='],
    volumedown: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABOklEQVR42u3ZIQ+CQBQHcD6SM7tpclabkWbVZGJzsxjMbM7NwgcwUJnOJOmSZzE4EpuBBIVy7s/AAaK249124YUbt73fHndwPIw0TYx6hGHQYewy8/3zUkYgF3I2WSqDILgPHGf7sO2NaCOQG4ZGIOfMzCcJzpmI40ikaSIlkAs5kRsGWCpAqHHB81ypsCYoDLAUlcyAKC30beLKSFhgyoBYnHlZW8cVAQtMsBnYQRhQqF65ijDBZmCbY0AFVwRMsGkgKaC1WtMERtFTzBeW6PaG9IDATcxphiMH5Ler6I/GbxwpoHc6fuDIAA+u+wFrDfgNooEygFgK9m7/NzBPOvDXOm2KOlIDyd9ivYuVeVAr+apT4rCgxHFLiQOrEkd+/VVHGki+9UG+eUS+/aZEA5N8C1iJJjrV3xAvMtp/MJ7F8BcAAAAASUVORK5CYII=',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABSklEQVR42mNwy1vAgI4d0qcbWMZ2FZhHtTfQA4PsAtmJzS0oHPuUKQ463iX3Ndzy/g8EBtkNcgNWB1rH9yZAFf23ju/975Iz979b3gK6YJBdIDtBdoPcAHILigNBrgZJGIc20tVh2BwKcgPILbCQBDsQFLQg1w+k45AdCXILyE1gB4ISJzRYB9xxMAxyC8hNILcxgHIQiDMYQg85FEFuArmNAZTNQZzB4jgYBrkJ5LZRBw4qB+46eXtwOjCofNn/o5ce/geBQedAkOPuPHn7HwYGlQMzOzf9//zt539kMGgc2DB7H4bjBo0Du5cc+Y8L0N2BpIJRB1LTgaCksHj7BYIYpI7uDsSXTrEBdEeOOnDQR/FoLh4yBfWQrOqGRGNhSDS3hkSDdUg0+Ud7dYPagYN+6GPQDx4N+uG3ITGAOeiHgIfEIPpgnYYAAMuiy4uRw/BhAAAAAElFTkSuQmCC'],
    home: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABUUlEQVR42u3ZoWvDQBTH8fxJY3qwqlFbV1k3239gUJiZqA5M5w+YiK2pWlXUrmZiRAUqoloTc+UbmpG2gSa5l+QKJ37iyOXeh0fOvHhZdvAukyTxQxR9zzeb9aKPUIuaVZazRRz/joLg88/3l3qIUBtDJVCpaHbapJWK9H6f6iw79BJqUZPaGLCcAVHzYLUKe4VVQTFgKTqZA2kt+iFxZSQWTDmQj/PU1sFxRbBgwuZxg1jY0L1yFzFh87jmLCQOfnv/yCNxFiZsYkBgj08veSSQosAyTgopAkzTnZ7OXq9wRXjGnkGAt3CmSCNgXZwJsjVQbX/083hSG1eEd3i3U2BbXBtkY6AprimyEfArDI1hl+FMEWAXuDrIWsAucbeQrS6JFKqzW+yADmgrUGq/AzqgAzqg7cA+8w+0fvRh/fDI+vHbXQwwrR8B38UQ3dbfEEdQvAfrgFHyjwAAAABJRU5ErkJggg==',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABWElEQVR42u3Zv0vDUBDA8fw5Dg6Cg0gHO0gWt4JLQepQEEFCh0JXO4kt2QpOhQ7FP6Cjs4t/g4Uurp0KhU5XvqGRVCLNj0vyCu/ghkde3n048paL43oT52/WH97OLu8GnYvmy3MZSS1qxln2FlftUf30prs4cT2pIqmNIRZYa/n3u01Sa/ly/TQW15uUktSiJrUxYNkDoubB+W2/VFgcFAOWsJMBkNairxIXRWLBFAD5OHdtrRwXJhZM2BxuEAsTuhftIiZsDtechcbBH1/fQWqchQmbGhBYGBpIVWAUp4VUATZ67zL/Wcp/wTP2VAI8hMuLzAVMisuDzAx8fJ3Jar2RtME7vFsoMCsuCzI1MC8uLTIVcDj9FO3gTBVgEbgkyETAInGHkJkuiVYUdost0AJNBWrtt0ALtEALNB1YZv4CjR99GD88Mn78dhQDTONHwEcxRDf1N8QWXSjlvBSsCPsAAAAASUVORK5CYII='],
    back: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABOUlEQVR42u3Zrw+CUBAHcP4kZ3bT5Kw2I82qycTmZjGY2cz8AQYq05kkkXwWgyOxGUhQXnnuy8CBMov8uHOGC2+w3WcHD45DkzLWXiMI/I7nnWaue1w2EciFnGWWwsL3rwPL2t5Mc6PaCOSGoRQohKenJykhPBVFoZIybiSQCzmRGwZYCkCoccBx7EZhZVAYYMkqmQBRWujbxOWRsMCUAHFzpmVtHZcFLDDBpmEHYUGhevkqwgSbhm2OBRVcFjDB9geSABqrNV0gcN3ekB4wDO9qvjASHDkgcBN9+sSRApbhyADF5az6o/EbjgTwE+6bqAToHPa14CoB7my7FlglwLpxvw8kf4lZbBIWjxkWD2oWrzoWzQKLdotFw8qm5f9/1ZEHkh99kB8ekR+/sRhgkh8BsxiiU/0N8QCKIRDSlo/S8wAAAABJRU5ErkJggg==',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABQ0lEQVR42u3ZsQsBcRQH8PtzDAZlkAwMusWmLEoMSkqXQVnPJHSbMkgZ5A8wGkwMVislZTUpZXr6Xq7u9MvC3b0nr97wy9X79Nzv/LzTdGOqvWamNoolS/1motg1g0jUQk2VxbNIV4eZaK51jOgGhZGoDYMSmCpbledFlCpblG1MSDemgSRqoSZqwwCLBwg1PogXOoHCVFAYYHE6aQPRWujDxLmRsMBkA3FzPtsaOs5JWGCCTcMOwoJD99xdhAk2DdscCy44J2GC7Q9kAVxu93yBwCHYAfPtOW12J3KCFRC4w/lC7mADVOHYAOu9BV1vd1JF6MB3uE/iK0BzvPIF9xXgYLYmP+MjoN+43wey/4pFbBIRjxkRD2oRP3UiDgsijlsiDqxijvz/f3XsgexHH+yHR+zHbyIGmOxHwCKG6FxfQzwA1QoehBpPxuIAAAAASUVORK5CYII='],
    menu: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABB0lEQVR42u3ZoQ7CMBCA4T4SQSNQPAcCiQAMioQHQC9B7xGwMyim6qoQZIoEMbWZmpJ/2ZKNzMG2jpw40Yz0vty4Ezdlba4+4/lMJlrfNnF8PfYR5CJnm6VxSJL7PAzPjyA4uSGC3BhagcboZfkjZ4x2WZY6a/NeglzkJDcGLA0gah5E0aVXWBsUA5aqkgWQ0qIfEldHYsFUAPlzlmUdHFcFFkzYFB3EwYfq1auICZuizTn4gqsCEzYBdg5M05fb7g9utd79NLiTu78GctF0tugkuPv/gd6/YuliAcoclDkoc1C6WIAyB2UOyhyULh410PvVh/fLI+/Xb6NYYHq/Ah7FEt3XzxBvNhzrDWEfNdwAAAAASUVORK5CYII=',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAABC0lEQVR42u3ZoQrCYBDA8T2OwSAYRBZckBWbYBFkBsEiwyBYNQnCmmASlnwTH0CrQUw+xif/scEma7rtJidc+HB89+PcXTgt1w+tz3Dmx1Z3sl92xrtNGUEucuZZMofe7OA0B6tHw/VNFUFuDLlA2wum8UPG9gLTX5yM64elBLnISW4MWDJA1HzRHm1LheVBMWBJKhkBKS36KnFpJBZMEZCXMy5r5bgksGDCZtFBHCRUL11FTNgs2pyDFFwSmLApsHDgcH02l9vTXO+vnwZ3cvfXQC4q6sPd/w8U/xNrFytQ56DOQZ2D2sUK1Dmoc1DnoHZxrYHiVx/il0fi12+1WGCKXwHXYoku9W+INw/qO0Z/WMWdAAAAAElFTkSuQmCC'],
    rotate: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAACBUlEQVR42t2ZMUvDQBSA85PEWdBJBCfBwcGhg+DioC5OBcFFRHAQCiK4dNDdNShOVoRsmRxKXAoOndolS+QLvXKN18uFXu5ShwdJ73Lvy7v33r28Bmk6DooyGCQrUfR+3Ou9nbsQdKFTxTJzkyRfG93uXb/Tuc58CLphUALGcdSaTMriOMpGo2GWpmMngi50ohsGWGYAoWYgDJ+dgqlAYYBFWDIHxLTQ+4STIWGBKQfEOSdm9Q4nBBaYYAuIIG5cWq99cZkNhz9aK8IEW0CYc+MSbnVtM+t9fmjnwQSbFUCUdR+fss79Qy5cqwAEHMKcWgGT736ucH1rZ6q0KIwxR8yVx65ubusDxErzoEzl4OjUPiCOfXLW/qNse3c/t5DYYq75TQeIda0DFuGwgs7ZGddB6iK5MmBxW8t8qOhzKtG9XCVAnNw2XFkkVwKUFZY5t3ghlOMSuijXvWglQFlJWYKdlydxkb3WoXEkGwOyuByti54kBEb4+pLvCsALA7JVApBFXR2JxoBy9HL97wFN1/O2xaYFg7cgkY9Aa4l60TSjelmrZ3HVRG1yNpe5S61HnUp4Rl6DNa1WM1WLBR2cSTZwUm4xViy5WMNqHrRZsPKsrgb0WvJXTfLOP5pqO+psfnZ6A6y1WPDR+jBpIE1bH41vHjW+/bYUDczGt4CXoone1L8hfgERhxNM94beWQAAAABJRU5ErkJggg==',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAACBUlEQVR42t2ZMUsDMRSA7+c4OAgOIh3sIF3cBBeh1EFwkcOh4FonQegiQgcRCoKTuioO4uKgkwpOFUQQdOlUEJxOvqOR9LzmEi6XXH0QuOvl8r68vPfyLg1qYTdItupGZ2a+vrc1t7rbctHQhc40lpGbhfWD6vRS83WqFkY+GrphSAWsNNprw05RpdGOFjePolrYddLQhU50wwDLCCDUPJhd2XEKlgYKAyzCkjEgpoXeJ5wMCQtMMSDOOTSrdzjRYIEJtoAI4sal9a7uetHy9onSijDBFhDm3LiEQ5r7l8p+MMFmBRBlnbP76PjiIW5cpwEIOIQ+hQLWW6exwsHXdzROeEYf0VeW85vn4gCxUl557H3YB8Sxb5/e/ij77A9iC4kl5prfVIJ1rQMm4bCCytl5rhJVJBsDJpc1y4eSPpcmqskZAeLktuGyItkIUFaY5dxiQijHJVRRrpqoEaCsJCvBjsuTuMjLe187krUBGVyO1rw7CYHROryOVwXg3IAslRAGdbUlagPK0cv1vwfUHc/bEusWDN6CRN4CrSXqvGkmbbJW92LTRK2zN2e5S6FbXVrjHVkY02o1Y1osqOB0soGTcotnyZKLMazmQZsFK++qakCvJb9pknf+0VTYVmfzs9MbYKHFgo+jD50DpN+jj9IfHpX++G0iDjBLfwQ8EYfoZf0b4gc+lhzjNcXq3gAAAABJRU5ErkJggg=='],
    panel: [
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAAA7klEQVR42u3ZMQ6CMBTG8R7JODs4eQ6P4BE8gDOJM0dwZXGSqVsnB9OJzQmWLjV/AgkYEhekj+QN39BA8n55aQM8TAiN+U5V+Y21j1NZ3s9LhFrUnLKMFt4/93l+fWXZJaYItTFMAp2zx+6m6JyNdf2OITSLhFrUpDYGLCMgai4UxW1R2BQUA5a+ky2Q1qJPiRsisWBqgWzOrq3JcX2wYMJmOEEsJHRv2EVM2AzHnIUUXB9M2H4Ct7vDX6NABSpQgQqcETjXU0KBClSgAhWoQAXq24wC5Xy4ix99iB8eiR+/rWKAKX4EvIohutTfEB8OKuAWwpzi2AAAAABJRU5ErkJggg==',
      'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAYAAACM/rhtAAAA7UlEQVR42u3ZsQqCUBTG8fs4DQ1BQ4RDDuHS3BKEDUFLSEMPUFMQuAVNgW/Wo9z4i4KG0GJ6hE/4hovC+XHwoh5dlGTuO+HhOZlv76fZ5nbpItSiZpOltljsH+F4dX6PosT3EWpjaAQGcborLvJBnPrl8eWjJOsk1KImtTFgqQFRc2K6vnYKa4JiwFJ2MgfSWvR94qpILJhyIDdn0dbecWWwYMLm2EEsLHSv2kVM2BzbnIUVXBlM2H4C/30IKKCAAgrYIrCtp4SAAgoooIACCqi3GQHtfLibH32YHx6ZH78NYoBpfgQ8iCG61d8QH91BA634C9E0AAAAAElFTkSuQmCC'],
  };

  const TEXT_ACCEPT = { Accept: 'text/plain; charset=UTF-8' };
  const AFTER_ACTION_MS = 3000;
  const AFTER_INPUT_MS = 1500;
  const TOUCH_SLOT = 9;
  const SELECTED_BORDER = '2px solid rgba(255,0,0,1)';
  const HOVER_BORDER = '1px solid red';
  const BASE64 = /^[A-Za-z0-9+/]*={0,2}$/;

  // Current orientation -> orientation to send for a quarter turn.
  const NEXT_ORIENTATION = { 1: 4, 2: 2, 4: 3, 8: 1 };

  // Panel field id -> data attribute of the box (and whether it shows as a boolean).
  const PANEL_FIELDS = [
    ['sopid', 'sopid'], ['uiappid', 'uiappid'], ['classname', 'classname'],
    ['objectname', 'objectname'], ['itemtext', 'text'], ['itemx', 'x'], ['itemy', 'y'],
    ['itemcx', 'cx'], ['itemcy', 'cy'], ['itemz', 'z'], ['itemwidth', 'width'],
    ['itemheight', 'height'], ['itemrotation', 'rotation'], ['itemscale', 'scale'],
    ['itemopacity', 'opacity'], ['itemfocus', 'focus', true], ['itemenabled', 'enabled', true],
    ['itemclip', 'clip', true], ['xpath', 'xpath'],
  ];

  // Parameters of "grabImage", in order, and the panel fields they come from.
  const GRAB_PARAMETERS = [
    ['x', 'itemcx'], ['y', 'itemcy'], ['w', 'itemwidth'], ['h', 'itemheight'],
    ['r', 'itemrotation'], ['s', 'itemscale'],
  ];

  // Data attribute -> attribute of the layout element it is copied from.
  const COPIED_ATTRIBUTES = [
    ['rotation', 'rotation'], ['scale', 'scale'], ['objectname', 'objectName'], ['text', 'text'],
    ['x', 'x'], ['y', 'y'], ['cx', 'centerXToGlobal'], ['cy', 'centerYToGlobal'],
    ['width', 'width'], ['height', 'height'], ['opacity', 'opacity'], ['enabled', 'enabled'],
    ['focus', 'focus'], ['clip', 'clip'], ['hascontents', 'hasContents'],
  ];

  function keyButton(path, value, refreshAfter) {
    const url = (type) => path + '?type=' + type + '&value=' + value;
    return {
      press: () => sendInput(url(1)),
      release: () => sendInput(url(0)).then(() => {
        if (refreshAfter) scheduleRefresh(AFTER_ACTION_MS);
      }),
    };
  }

  const KEY_BUTTONS = {
    power: keyButton('sendKeyEventPWithUInput', 116, true),
    volumeup: keyButton('sendKeyEventPWithUInput', 115, false),
    volumedown: keyButton('sendKeyEventPWithUInput', 114, false),
    home: keyButton('sendKeyEventP', 16777232, true),
    back: keyButton('sendKeyEventP', 16777313, true),
    menu: keyButton('sendKeyEventP', 16777301, true),
    rotate: { press() {}, release: rotateScreen },
    panel: {
      press() {},
      release: () => sendInput('setPanelState').then(() => scheduleRefresh(AFTER_ACTION_MS)),
    },
  };

  const state = {
    xml: '',
    doc: null,
    screenHeight: 0,
    screenWidth: 0,
    boxWidth: 0,
    boxHeight: 0,
    imageAspect: 0,
    boxAspect: 0,
    factor: 1,
    sopId: '',
    uiAppId: '',
    boxes: new Map(),
    selected: null,
    selectedId: null,
    selectedSopId: '',
    touching: false,
    pressed: {},
    autoTimer: null,
    afterTimer: null,
    refreshing: false,
    refreshQueued: false,
  };

  // Page geometry and marks of each box: base position and size in page pixels, hover and
  // selection flags. Each flag widens the box by 1 px on every side, so a box clicked under the
  // pointer grows by 2 px and every mark is undone exactly, however it was made.
  const boxGeometry = new WeakMap();

  const $ = (id) => document.getElementById(id);

  function withParameters(path, parameters) {
    return path + '?' + parameters
      .map(([name, value]) => encodeURIComponent(name) + '=' + encodeURIComponent(value))
      .join('&');
  }

  function get(url, headers) {
    return fetch(url, { headers: headers || {}, cache: 'no-store' })
      .then((response) => response.text().then((text) => ({ status: response.status, text })))
      .catch(() => ({ status: 0, text: '' }));
  }

  // Input requests go out one at a time so the phone sees them in the order they were made
  // (a release must never overtake its press). A move still waiting to be sent is replaced
  // by a newer one.
  const inputQueue = { waiting: [], busy: false };

  function sendInput(url, replaceable) {
    return new Promise((resolve) => {
      const last = inputQueue.waiting[inputQueue.waiting.length - 1];
      if (replaceable && last && last.replaceable) {
        last.url = url;
        last.done.push(resolve);
      } else {
        inputQueue.waiting.push({ url, replaceable: !!replaceable, done: [resolve] });
      }
      pumpInput();
    });
  }

  function pumpInput() {
    if (inputQueue.busy || inputQueue.waiting.length === 0) return;
    const request = inputQueue.waiting.shift();
    inputQueue.busy = true;
    get(request.url).then((answer) => {
      inputQueue.busy = false;
      request.done.forEach((resolve) => resolve(answer));
      pumpInput();
    });
  }

  function setBusy(busy) {
    $('loading').style.display = busy ? 'inline' : 'none';
    $('refbtn').disabled = busy;
  }

  function scheduleRefresh(ms) {
    clearTimeout(state.afterTimer);
    state.afterTimer = setTimeout(refreshStart, ms);
  }

  // ---- refresh ----

  // A refresh asked for while one runs follows it; the auto-refresh timer just skips a beat.
  function refreshStart(fromAutoRefresh) {
    if (state.refreshing) {
      if (fromAutoRefresh !== true) state.refreshQueued = true;
      return;
    }
    clearTimeout(state.afterTimer);
    state.afterTimer = null;
    state.refreshing = true;
    setBusy(true);
    get('getScreenShot')
      .then((shot) => {
        if (shot.status !== 200 || !storeScreenShot(shot.text)) return undefined;
        return get('getLayoutXML', TEXT_ACCEPT).then((layout) => {
          if (layout.status !== 200) return;
          state.xml = layout.text.replace(/\x08/g, '');
          refreshShowLayout();
        });
      })
      .then(refreshEnd, refreshEnd);
  }

  function refreshEnd() {
    state.refreshing = false;
    setBusy(false);
    selectAgain();
    if (state.refreshQueued) {
      state.refreshQueued = false;
      refreshStart();
    }
  }

  // "Base64,height,width"; an answer without a usable size keeps the previous screen.
  function storeScreenShot(text) {
    const fields = text.split(',');
    if (fields.length !== 3 || !BASE64.test(fields[0])) return false;
    const height = Number(fields[1]);
    const width = Number(fields[2]);
    if (!(height > 0 && width > 0)) return false;
    state.screenHeight = height;
    state.screenWidth = width;
    $('back-image').style.backgroundImage = 'url("data:image/png;base64,' + fields[0] + '")';
    return true;
  }

  function parseXml(text) {
    const doc = new DOMParser().parseFromString(text, 'text/xml');
    const errors = doc.getElementsByTagName('parsererror');
    for (let i = 0; i < errors.length; i++) {
      if (errors[i].namespaceURI !== null) return null;
    }
    return doc;
  }

  function refreshShowLayout() {
    const back = $('back-image');
    back.style.width = $('left-td').clientWidth + 'px';
    state.boxWidth = back.clientWidth;
    state.boxHeight = back.clientHeight;
    if (!(state.screenWidth > 0 && state.boxWidth > 0 && state.boxHeight > 0)) return;
    state.imageAspect = state.screenWidth / state.screenHeight;
    state.boxAspect = state.boxWidth / state.boxHeight;
    state.factor = state.imageAspect > state.boxAspect
      ? state.screenWidth / state.boxWidth
      : state.screenHeight / state.boxHeight;

    const doc = parseXml(state.xml);
    const root = doc ? doc.documentElement : null;
    state.doc = doc;
    state.sopId = (root && root.getAttribute('sopId')) || '';
    state.uiAppId = (root && root.getAttribute('uiAppId')) || '';

    const boxes = new Map();
    const content = document.createDocumentFragment();
    const top = {
      z: 0, rotation: 0, width: state.screenWidth, height: state.screenHeight, outermost: true,
    };
    if (root) {
      for (const level1 of root.children) {
        for (const level2 of level1.children) xmlToHtmlTraversed(level2, content, top, boxes);
      }
    }
    const surface = $('surface');
    surface.style.width = state.screenWidth / state.factor + 'px';
    surface.style.height = state.screenHeight / state.factor + 'px';
    surface.replaceChildren(content);
    state.boxes = boxes;
  }

  function number(text, fallback) {
    const value = parseFloat(text);
    return Number.isFinite(value) ? value : fallback;
  }

  function isShown(item) {
    return parseFloat(item.getAttribute('opacity')) !== 0
      && item.nodeName !== 'QQuickShaderEffectSource'
      && item.getAttribute('visible') === '1';
  }

  function isMarked(item) {
    if (item.getAttribute('hasContents') !== '0') return true;
    return item.nodeName === 'QQuickLoader' && item.getAttribute('z') === '10000'
      && item.getAttribute('tempID') === 'temp7';
  }

  function randomColour() {
    return Math.floor(Math.random() * 16777215).toString(16).padStart(6, '0');
  }

  // Builds one box per shown child of `element` into `container`; hidden items and their
  // subtrees get none. Every value from the layout reaches the page as a DOM property or as
  // a number, so item texts cannot turn into markup.
  function xmlToHtmlTraversed(element, container, parent, boxes) {
    for (const item of element.children) {
      if (!isShown(item)) continue;
      const attr = (name) => item.getAttribute(name) || '';
      const width = number(attr('width'), 0);
      const height = number(attr('height'), 0);
      const cx = number(attr(parent.outermost ? 'centerXToGlobal' : 'centerXToItem'), 0);
      const cy = number(attr(parent.outermost ? 'centerYToGlobal' : 'centerYToItem'), 0);
      const x = ((parent.width - width) / 2) + (cx - parent.width / 2);
      const y = ((parent.height - height) / 2) + (cy - parent.height / 2);
      const z = parent.z + (parseInt(attr('z'), 10) || 0);
      const ownRotation = number(attr('rotation'), 0);
      const rotation = ownRotation - parent.rotation;
      const scale = number(attr('scale'), 1);
      const marked = isMarked(item);

      const box = document.createElement('div');
      box.id = attr('tempID');
      box.className = 'item';
      box.dataset.classname = item.nodeName;
      for (const [key, name] of COPIED_ATTRIBUTES) box.dataset[key] = attr(name);
      box.dataset.z = String(z);
      box.dataset.sopid = state.sopId;
      box.dataset.uiappid = state.uiAppId;
      box.dataset.xpath = getXPath(item);
      box.style.cssText = 'position:absolute;box-sizing: border-box;z-index:' + z
        + ';left:' + x / state.factor + 'px;top:' + y / state.factor
        + 'px;width:' + width / state.factor + 'px;height:' + height / state.factor
        + 'px; transform: scale(' + scale + ') rotate(' + rotation + 'deg);'
        + (attr('clip') === '1' ? 'clip:rect(auto, auto, auto, auto);' : '')
        + (marked ? 'pointer-events: auto;' : 'pointer-events: none;')
        + ($('tranMode').checked && marked ? ' background: #' + randomColour() : '');
      boxGeometry.set(box, {
        left: x / state.factor,
        top: y / state.factor,
        width: width / state.factor,
        height: height / state.factor,
        hover: false,
        selected: false,
      });
      box.addEventListener('mouseover', (event) => {
        event.stopPropagation();
        showOrHideBorder(box, true);
      });
      box.addEventListener('mouseout', (event) => {
        event.stopPropagation();
        showOrHideBorder(box, false);
      });
      box.addEventListener('click', (event) => {
        event.stopPropagation();
        clickHandle(box);
      });
      if (box.id && !boxes.has(box.id)) boxes.set(box.id, box);

      if (item.children.length > 0) {
        xmlToHtmlTraversed(item, box, {
          z, rotation: ownRotation, width, height, outermost: false,
        }, boxes);
      }
      container.appendChild(box);
    }
  }

  // /root/a/b[2]: the index only where the parent has several children of that name.
  function getXPath(node) {
    let path = '';
    for (let level = node; level && level.nodeType === Node.ELEMENT_NODE; level = level.parentNode) {
      const name = level.nodeName;
      const siblings = level.parentNode
        ? Array.prototype.filter.call(level.parentNode.children, (sibling) => sibling.nodeName === name)
        : [level];
      path = '/' + name + (siblings.length > 1 ? '[' + (siblings.indexOf(level) + 1) + ']' : '') + path;
    }
    return path;
  }

  // ---- selection and hover ----

  function applyMarks(box) {
    const geometry = boxGeometry.get(box);
    if (!geometry) return;
    const grow = (geometry.hover ? 1 : 0) + (geometry.selected ? 1 : 0);
    box.style.left = geometry.left - grow + 'px';
    box.style.top = geometry.top - grow + 'px';
    box.style.width = geometry.width + 2 * grow + 'px';
    box.style.height = geometry.height + 2 * grow + 'px';
    if (geometry.selected) box.style.border = SELECTED_BORDER;
    else if (geometry.hover) box.style.border = HOVER_BORDER;
    else box.style.removeProperty('border');
  }

  function setMarks(box, marks) {
    const geometry = boxGeometry.get(box);
    if (!geometry) return;
    Object.assign(geometry, marks);
    applyMarks(box);
  }

  // The selected box keeps its look while the pointer comes and goes.
  function showOrHideBorder(box, show) {
    if (box !== state.selected) setMarks(box, { hover: show });
  }

  function clickHandle(box) {
    if (state.selected && (!box || state.selectedSopId !== state.sopId)) {
      infoClear();
      return;
    }
    if (!box) return;
    if (box !== state.selected) {
      setMarks(box, { selected: true });
      fillPanel(box);
      if (state.selected) setMarks(state.selected, { selected: false, hover: false });
    }
    state.selected = box;
    state.selectedId = box.id;
    state.selectedSopId = state.sopId;
    $('dl').disabled = false;
  }

  function selectAgain() {
    if (state.selected) clickHandle(state.boxes.get(state.selectedId) || null);
  }

  function fillPanel(box) {
    for (const [field, key, isFlag] of PANEL_FIELDS) {
      const value = box.dataset[key] || '';
      $(field).value = isFlag ? String(value !== '0') : value;
    }
  }

  function infoClear() {
    for (const [field] of PANEL_FIELDS) {
      if (field !== 'xpath') $(field).value = '';
    }
    if (state.selected) setMarks(state.selected, { selected: false, hover: false });
    state.selected = null;
    state.selectedId = null;
    $('dl').disabled = true;
  }

  // ---- search and download ----

  function searchHandle() {
    const expression = $('xpathinput').value;
    if (!expression) return;
    let node = null;
    if (state.doc) {
      try {
        node = state.doc.evaluate(expression, state.doc, null,
          XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
      } catch (error) {
        node = null;
      }
    }
    if (node && node.nodeType === Node.ATTRIBUTE_NODE) node = node.ownerElement;
    else if (node && node.nodeType !== Node.ELEMENT_NODE) node = node.parentElement;
    if (!node) {
      alert('not fount xml object');
      return;
    }
    clickHandle(state.boxes.get(node.getAttribute('tempID') || '') || null);
  }

  function randomName(length) {
    const letters = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789';
    const bytes = crypto.getRandomValues(new Uint8Array(length));
    return Array.from(bytes, (byte) => letters[byte % letters.length]).join('');
  }

  function downloadItemImage() {
    const parameters = GRAB_PARAMETERS.map(([name, field]) => [name, $(field).value]);
    get(withParameters('grabImage', parameters), TEXT_ACCEPT).then((answer) => {
      const text = answer.text.trim();
      if (answer.status !== 200 || !text || !BASE64.test(text)) return;
      const bytes = Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
      link.download = randomName(10) + '.png';
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    });
  }

  // ---- input ----

  function rotateScreen() {
    return sendInput('setRotationAllowed?allowed=1')
      .then(() => sendInput('getScreenOrientation'))
      .then((answer) => {
        const next = NEXT_ORIENTATION[answer.status === 200 ? answer.text.trim() : ''];
        if (!next) return undefined;
        return sendInput('sendOrientationEvent?orientation=' + next)
          .then(() => scheduleRefresh(AFTER_ACTION_MS));
      });
  }

  function sendCommitString() {
    const input = $('commitstringinput');
    const text = input.value;
    setBusy(true);
    input.value = '';
    sendInput('sendCommitString?str=' + encodeURIComponent(text))
      .then(() => scheduleRefresh(AFTER_INPUT_MS));
  }

  function autoRefresh() {
    clearInterval(state.autoTimer);
    state.autoTimer = null;
    const seconds = Number($('autoRef').value);
    if (seconds > 0) state.autoTimer = setInterval(() => refreshStart(true), seconds * 1000);
  }

  function devicePoint(event) {
    const rect = $('surface').getBoundingClientRect();
    return {
      x: Math.trunc((event.clientX - rect.left) * state.factor),
      y: Math.trunc((event.clientY - rect.top) * state.factor),
    };
  }

  function sendTouch(type, point, replaceable) {
    return sendInput(withParameters('sendTouchEventPWithUInput', [
      ['type', type], ['slot', TOUCH_SLOT], ['id', TOUCH_SLOT], ['x', point.x], ['y', point.y],
    ]), replaceable);
  }

  function clampToScreen(point) {
    return {
      x: Math.min(Math.max(point.x, 0), state.screenWidth),
      y: Math.min(Math.max(point.y, 0), state.screenHeight),
    };
  }

  function onScreen(point) {
    return point.x >= 0 && point.x <= state.screenWidth
      && point.y >= 0 && point.y <= state.screenHeight;
  }

  function touchPress(event) {
    const rect = $('surface').getBoundingClientRect();
    if (!(event.clientX > rect.left && event.clientX < rect.left + rect.width
      && event.clientY > rect.top && event.clientY < rect.top + rect.height)) return;
    event.preventDefault();
    state.touching = true;
    sendTouch(1, devicePoint(event));
  }

  function touchMove(event) {
    if (!state.touching) return;
    const point = devicePoint(event);
    if (onScreen(point)) {
      sendTouch(2, point, true);
      return;
    }
    state.touching = false;
    sendTouch(0, clampToScreen(point)).then(() => scheduleRefresh(AFTER_INPUT_MS));
  }

  function touchRelease(event) {
    if (!state.touching) return;
    state.touching = false;
    sendTouch(0, clampToScreen(devicePoint(event))).then(() => scheduleRefresh(AFTER_ACTION_MS));
  }

  function pressKey(id) {
    state.pressed[id] = true;
    $(id).src = ICONS[id][1];
    KEY_BUTTONS[id].press();
  }

  function releaseKeys() {
    for (const id of Object.keys(KEY_BUTTONS)) {
      if (!state.pressed[id]) continue;
      state.pressed[id] = false;
      $(id).src = ICONS[id][0];
      KEY_BUTTONS[id].release();
    }
  }

  function installHandlers() {
    for (const id of Object.keys(KEY_BUTTONS)) {
      const button = $(id);
      button.src = ICONS[id][0];
      button.draggable = false;
      button.addEventListener('mousedown', (event) => {
        if (event.button !== 0) return;
        event.preventDefault();
        pressKey(id);
      });
    }
    document.addEventListener('mouseup', (event) => {
      if (event.button === 0) releaseKeys();
      else if (event.button === 2) touchRelease(event);
    });
    document.addEventListener('mousedown', (event) => {
      if (event.button === 2) touchPress(event);
    });
    document.addEventListener('mousemove', touchMove);
    document.addEventListener('contextmenu', (event) => event.preventDefault());

    $('refbtn').addEventListener('click', () => refreshStart());
    $('tranMode').addEventListener('click', () => refreshStart());
    $('autoRef').addEventListener('change', autoRefresh);
    $('search').addEventListener('click', searchHandle);
    $('sendcommitstring').addEventListener('click', sendCommitString);
    $('dl').addEventListener('click', downloadItemImage);
    window.addEventListener('resize', () => {
      if (!state.xml) return;
      refreshShowLayout();
      selectAgain();
    });
  }

  infoClear();
  refreshStart();
  installHandlers();
}());
