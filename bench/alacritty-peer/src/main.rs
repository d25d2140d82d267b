// The terminal benchmark's peer: feeds a payload to an alacritty_terminal
// core in chunks, after a prefill that is not timed, and prints the seconds
// the payload took.
//
//   alacritty-peer COLUMNS ROWS SCROLLBACK CHUNK PREFILL PAYLOAD [RUNS]
//
// Prints one line per run: "seconds S".

use std::env;
use std::fs;
use std::time::Instant;

use alacritty_terminal::ansi::Processor;
use alacritty_terminal::config::Config;
use alacritty_terminal::event::VoidListener;
use alacritty_terminal::grid::Dimensions;
use alacritty_terminal::Term;

struct Size {
    columns: usize,
    rows: usize,
}

impl Dimensions for Size {
    fn total_lines(&self) -> usize {
        self.rows
    }
    fn screen_lines(&self) -> usize {
        self.rows
    }
    fn columns(&self) -> usize {
        self.columns
    }
}

fn feed(processor: &mut Processor, term: &mut Term<VoidListener>, bytes: &[u8], chunk: usize) {
    for piece in bytes.chunks(chunk.max(1)) {
        for &b in piece {
            processor.advance(term, b);
        }
    }
}

fn main() {
    let args: Vec<String> = env::args().collect();
    if args.len() < 7 {
        eprintln!("usage: alacritty-peer COLUMNS ROWS SCROLLBACK CHUNK PREFILL PAYLOAD [RUNS]");
        std::process::exit(64);
    }
    let number = |i: usize| -> usize { args[i].parse().expect("a number") };
    let (columns, rows, scrollback, chunk) = (number(1), number(2), number(3), number(4));
    let prefill = fs::read(&args[5]).expect("the prefill file");
    let payload = fs::read(&args[6]).expect("the payload file");
    let runs = if args.len() > 7 { number(7) } else { 1 };
    for _ in 0..runs {
        let mut config = Config::default();
        config.scrolling.set_history(scrollback as u32);
        let size = Size { columns, rows };
        let mut term = Term::new(&config, &size, VoidListener);
        let mut processor = Processor::new();
        feed(&mut processor, &mut term, &prefill, chunk);
        let start = Instant::now();
        feed(&mut processor, &mut term, &payload, chunk);
        let seconds = start.elapsed().as_secs_f64();
        // Keep the work observable.
        if term.grid().history_size() > scrollback {
            eprintln!("history larger than asked");
        }
        println!("seconds {}", seconds);
    }
}
